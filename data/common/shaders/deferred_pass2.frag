#version 120
// Deferred shading, lighting pass: the fixed pipeline's lighting equation for the first
// "num_lights" GL lights, per pixel, from the geometry pass's albedo, normals and positions
// (units 0, 1, 2). Light positions are in eye space, as are the stored surfaces. Pixels no
// surface covered keep the cleared colour.
uniform sampler2D albedo;
uniform sampler2D normals;
uniform sampler2D positions;
uniform int num_lights;

vec3 light_contribution(int i, vec3 position, vec3 n, vec3 v, vec3 base, float specular, float shininess)
{
    vec4 lp = gl_LightSource[i].position;
    vec3 l;
    float attenuation = 1.0;
    if (lp.w == 0.0) {
        l = normalize(lp.xyz);
    } else {
        vec3 d = lp.xyz / lp.w - position;
        float dist = length(d);
        l = d / max(dist, 1e-6);
        attenuation = 1.0 / (gl_LightSource[i].constantAttenuation + gl_LightSource[i].linearAttenuation * dist +
                             gl_LightSource[i].quadraticAttenuation * dist * dist);
        if (gl_LightSource[i].spotCutoff <= 90.0) {
            float c = dot(-l, normalize(gl_LightSource[i].spotDirection));
            attenuation *= c < gl_LightSource[i].spotCosCutoff ? 0.0 : pow(max(c, 0.0), gl_LightSource[i].spotExponent);
        }
    }
    float diffuse = max(dot(n, l), 0.0);
    vec3 colour = (gl_LightSource[i].ambient.rgb + diffuse * gl_LightSource[i].diffuse.rgb) * base;
    if (diffuse > 0.0 && specular > 0.0) {
        float highlight = max(dot(n, normalize(l + v)), 1e-6);
        colour += pow(highlight, shininess) * specular * gl_LightSource[i].specular.rgb;
    }
    return colour * attenuation;
}

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec4 surface = texture2D(albedo, uv);
    vec4 eye = texture2D(positions, uv);
    if (eye.a == 0.0) {
        gl_FragColor = vec4(surface.rgb, 1.0);
        return;
    }
    vec4 stored = texture2D(normals, uv);
    vec3 n = normalize(stored.xyz * 2.0 - 1.0);
    vec3 v = normalize(-eye.xyz);
    float shininess = max(stored.a * 128.0, 1.0);
    vec3 colour = gl_LightModel.ambient.rgb * surface.rgb;
    for (int i = 0; i < gl_MaxLights; ++i) {
        if (i >= num_lights) break;
        colour += light_contribution(i, eye.xyz, n, v, surface.rgb, surface.a, shininess);
    }
    gl_FragColor = vec4(colour, 1.0);
}
