#version 120
// Diffuse-only lighting, per pixel, by the first "num_lights" GL lights, for surfaces seen from
// both sides (leaves, cloth, open shells): a back face turns its normal towards the viewer and
// takes the back material. Texture on unit 0.
uniform int num_lights;
uniform sampler2D texture;
varying vec3 position;
varying vec3 normal;

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

void main()
{
    vec3 n = normalize(gl_FrontFacing ? normal : -normal);
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
