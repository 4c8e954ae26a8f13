#version 120
// The fixed pipeline's lighting equation, per pixel, for the first "num_lights" GL lights and
// the current material (points, directions and spots, with attenuation).
uniform int num_lights;
varying vec3 position;
varying vec3 normal;

vec3 light_contribution(int i, vec3 n, vec3 v)
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
    vec3 colour = gl_LightSource[i].ambient.rgb * gl_FrontMaterial.ambient.rgb +
                  diffuse * gl_LightSource[i].diffuse.rgb * gl_FrontMaterial.diffuse.rgb;
    if (diffuse > 0.0) {
        float highlight = max(dot(n, normalize(l + v)), 1e-6);
        colour += pow(highlight, max(gl_FrontMaterial.shininess, 1.0)) * gl_LightSource[i].specular.rgb *
                  gl_FrontMaterial.specular.rgb;
    }
    return colour * attenuation;
}

void main()
{
    vec3 n = normalize(gl_FrontFacing ? normal : -normal);
    vec3 v = normalize(-position);
    vec3 colour = gl_FrontMaterial.emission.rgb + gl_FrontMaterial.ambient.rgb * gl_LightModel.ambient.rgb;
    for (int i = 0; i < gl_MaxLights; ++i) {
        if (i >= num_lights) break;
        colour += light_contribution(i, n, v);
    }
    gl_FragColor = vec4(colour, gl_FrontMaterial.diffuse.a);
}
