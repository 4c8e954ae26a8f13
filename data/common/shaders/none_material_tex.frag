#version 120
// Unlit textured surfaces: the material's diffuse colour times the texture on unit 0, plus
// emission, with no shading from any light.
uniform sampler2D texture;

void main()
{
    vec4 base = texture2D(texture, gl_TexCoord[0].st);
    gl_FragColor = vec4(gl_FrontMaterial.diffuse.rgb * base.rgb + gl_FrontMaterial.emission.rgb,
                        gl_FrontMaterial.diffuse.a * base.a);
}
