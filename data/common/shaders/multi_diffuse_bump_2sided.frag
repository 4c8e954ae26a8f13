#version 120
// Diffuse-only, normal-mapped lighting by the first "num_lights" GL lights for surfaces seen
// from both sides. From behind, the bumps are dents: the whole perturbed normal turns round,
// and the back material applies. Diffuse texture on unit 0, normal map on unit 1.
uniform int num_lights;
uniform sampler2D texture;
uniform sampler2D normalmap;
varying vec3 position;
varying vec3 normal;
varying vec3 eye_tangent;

// Direction from the fragment towards light i, and the light's attenuation there: none for a
// directional light, distance and spot cone for a positional one.
float towards_light(int i, out vec3 l)
{
    vec4 lp = gl_LightSource[i].position;
    if (lp.w == 0.0) {
        l = normalize(lp.xyz);
        return 1.0;
    }
    vec3 d = lp.xyz / lp.w - position;
    float dist = length(d);
    l = d / max(dist, 1e-6);
    float attenuation = 1.0 / (gl_LightSource[i].constantAttenuation + gl_LightSource[i].linearAttenuation * dist +
                               gl_LightSource[i].quadraticAttenuation * dist * dist);
    if (gl_LightSource[i].spotCutoff <= 90.0) {
        float c = dot(-l, normalize(gl_LightSource[i].spotDirection));
        attenuation *= c < gl_LightSource[i].spotCosCutoff ? 0.0 : pow(max(c, 0.0), gl_LightSource[i].spotExponent);
    }
    return attenuation;
}

// The normal map (unit 1) read in the surface's tangent frame. The tangent is made square to
// the interpolated normal first; a mesh without tangents (all zero) keeps its smooth normal
// rather than producing garbage.
vec3 bumped_normal(vec3 n)
{
    vec3 t = eye_tangent - n * dot(n, eye_tangent);
    float length_t = length(t);
    if (length_t < 1e-6) return n;
    t /= length_t;
    vec3 m = texture2D(normalmap, gl_TexCoord[0].st).xyz * 2.0 - 1.0;
    return normalize(mat3(t, cross(n, t), n) * m);
}

void main()
{
    vec3 n = bumped_normal(normalize(normal));
    if (!gl_FrontFacing) n = -n;
    vec4 ambient = gl_FrontFacing ? gl_FrontMaterial.ambient : gl_BackMaterial.ambient;
    vec4 diffuse = gl_FrontFacing ? gl_FrontMaterial.diffuse : gl_BackMaterial.diffuse;
    vec4 emission = gl_FrontFacing ? gl_FrontMaterial.emission : gl_BackMaterial.emission;
    vec4 base = texture2D(texture, gl_TexCoord[0].st);
    vec3 light = gl_LightModel.ambient.rgb * ambient.rgb;
    for (int i = 0; i < gl_MaxLights; ++i) {
        if (i >= num_lights) break;
        vec3 l;
        float attenuation = towards_light(i, l);
        light += attenuation * (gl_LightSource[i].ambient.rgb * ambient.rgb +
                                max(dot(n, l), 0.0) * gl_LightSource[i].diffuse.rgb * diffuse.rgb);
    }
    gl_FragColor = vec4(emission.rgb + light * base.rgb, diffuse.a * base.a);
}
