#version 120
// Diffuse-only lighting, per pixel, by GL light 0: the material's ambient and diffuse colours
// times the texture on unit 0, no highlights.
uniform sampler2D texture;
varying vec3 position;
varying vec3 normal;

// Direction from the fragment towards GL light 0, and the light's attenuation there: none for a
// directional light, distance and spot cone for a positional one.
float towards_light(out vec3 l)
{
    vec4 lp = gl_LightSource[0].position;
    if (lp.w == 0.0) {
        l = normalize(lp.xyz);
        return 1.0;
    }
    vec3 d = lp.xyz / lp.w - position;
    float dist = length(d);
    l = d / max(dist, 1e-6);
    float attenuation = 1.0 / (gl_LightSource[0].constantAttenuation + gl_LightSource[0].linearAttenuation * dist +
                               gl_LightSource[0].quadraticAttenuation * dist * dist);
    if (gl_LightSource[0].spotCutoff <= 90.0) {
        float c = dot(-l, normalize(gl_LightSource[0].spotDirection));
        attenuation *= c < gl_LightSource[0].spotCosCutoff ? 0.0 : pow(max(c, 0.0), gl_LightSource[0].spotExponent);
    }
    return attenuation;
}

void main()
{
    vec3 n = normalize(normal);
    vec4 base = texture2D(texture, gl_TexCoord[0].st);
    vec3 l;
    float attenuation = towards_light(l);
    vec3 light = gl_LightModel.ambient.rgb * gl_FrontMaterial.ambient.rgb +
                 attenuation * (gl_LightSource[0].ambient.rgb * gl_FrontMaterial.ambient.rgb +
                                max(dot(n, l), 0.0) * gl_LightSource[0].diffuse.rgb * gl_FrontMaterial.diffuse.rgb);
    gl_FragColor = vec4(gl_FrontMaterial.emission.rgb + light * base.rgb, gl_FrontMaterial.diffuse.a * base.a);
}
