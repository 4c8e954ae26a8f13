#version 120
#extension GL_EXT_gpu_shader4 : require
// Shadow pipeline, lighting pass of one light, drawn additively over the ambient pass. The
// shadowing light is GL light 0 for its pass. The light's depth cube map (unit 0) compares on
// lookup: the reference depth is that of the face the direction falls on, which the light's
// 90-degree projection gives from the distance along the major axis. The diffuse texture sits
// on unit 1 ("texture").
uniform samplerCubeShadow shadow;
uniform sampler2D texture;
uniform mat4 light_projection_matrix;
varying vec3 position;
varying vec3 normal;
varying vec3 from_light;

float light_reaches()
{
    vec3 a = abs(from_light);
    float major = max(a.x, max(a.y, a.z));
    vec4 clip = light_projection_matrix * vec4(0.0, 0.0, -major, 1.0);
    float depth = clip.z / clip.w * 0.5 + 0.5;
    return shadowCube(shadow, vec4(from_light, depth - 0.0005)).r;
}

vec3 light_contribution(vec3 n, vec3 v, vec3 base)
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
    }
    float diffuse = max(dot(n, l), 0.0);
    vec3 colour = diffuse * gl_LightSource[0].diffuse.rgb * gl_FrontMaterial.diffuse.rgb * base;
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
    vec4 base = texture2D(texture, gl_TexCoord[0].st);
    gl_FragColor = vec4(light_contribution(n, v, base.rgb) * light_reaches(), gl_FrontMaterial.diffuse.a * base.a);
}
