#version 120
// Deferred shading, geometry pass. Three targets:
//   0: diffuse albedo (material diffuse, times the texture on unit 0 when "textured" is set),
//      with the material's specular strength in alpha;
//   1: eye-space normal packed into 0..1, with shininess / 128 in alpha;
//   2: eye-space position, alpha 1 where a surface was drawn (the lighting pass leaves the
//      cleared background alone). Positions need a floating-point target.
// The texture is opt-in: an unbound unit samples black and would blacken untextured meshes.
uniform sampler2D texture;
uniform bool textured;
varying vec3 position;
varying vec3 normal;

void main()
{
    vec3 albedo = gl_FrontMaterial.diffuse.rgb;
    if (textured) albedo *= texture2D(texture, gl_TexCoord[0].st).rgb;
    float specular = dot(gl_FrontMaterial.specular.rgb, vec3(1.0 / 3.0));
    vec3 n = normalize(gl_FrontFacing ? normal : -normal);
    gl_FragData[0] = vec4(albedo, specular);
    gl_FragData[1] = vec4(n * 0.5 + 0.5, clamp(gl_FrontMaterial.shininess / 128.0, 0.0, 1.0));
    gl_FragData[2] = vec4(position, 1.0);
}
