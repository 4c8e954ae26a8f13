#version 120
// Unlit surfaces in the material's own colour: diffuse plus emission, as if fully lit from the
// front. Flat-coloured shapes and glowing objects that no light should shade.
void main()
{
    gl_FragColor = vec4(gl_FrontMaterial.diffuse.rgb + gl_FrontMaterial.emission.rgb, gl_FrontMaterial.diffuse.a);
}
