#version 120
// Shadow pipeline, lighting pass of one light, drawn additively over the ambient pass. The
// shadowing light is GL light 0 for its pass; its depth map (unit 0) compares on lookup. The
// reference depth is pulled a little towards the light so lit surfaces do not shadow
// themselves. Points behind the light get none of it.
uniform sampler2DShadow shadow;
varying vec3 position;
varying vec3 normal;
varying vec4 in_map;

float light_reaches()
{
    if (in_map.w <= 0.0) return 0.0;
    return shadow2DProj(shadow, vec4(in_map.xy, in_map.z - 0.0005 * in_map.w, in_map.w)).r;
}

vec3 light_contribution(vec3 n, vec3 v)
{
    vec4 lp = gl_LightSource[0].position;
    vec3 l;
    float attenuation = 1.0;
    if (lp.w == 0.0) {
        l = normalize(lp.xyz);
    } else {
        vec3 d = lp.xyz / lp.w - position;
        float dist = length(d);
        l = d / max(dist, 1e-6);
        attenuation = 1.0 / (gl_LightSource[0].constantAttenuation + gl_LightSource[0].linearAttenuation * dist +
                             gl_LightSource[0].quadraticAttenuation * dist * dist);
        if (gl_LightSource[0].spotCutoff <= 90.0) {
            float c = dot(-l, normalize(gl_LightSource[0].spotDirection));
            attenuation *= c < gl_LightSource[0].spotCosCutoff ? 0.0 : pow(max(c, 0.0), gl_LightSource[0].spotExponent);
        }
    }
    float diffuse = max(dot(n, l), 0.0);
    vec3 colour = diffuse * gl_LightSource[0].diffuse.rgb * gl_FrontMaterial.diffuse.rgb;
    if (diffuse > 0.0) {
        float highlight = max(dot(n, normalize(l + v)), 1e-6);
        colour += pow(highlight, max(gl_FrontMaterial.shininess, 1.0)) * gl_LightSource[0].specular.rgb *
                  gl_FrontMaterial.specular.rgb;
    }
    return colour * attenuation;
}

void main()
{
    vec3 n = normalize(gl_FrontFacing ? normal : -normal);
    vec3 v = normalize(-position);
    gl_FragColor = vec4(light_contribution(n, v) * light_reaches(), gl_FrontMaterial.diffuse.a);
}
