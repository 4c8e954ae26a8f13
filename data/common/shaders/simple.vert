#version 120
// Full-screen passes and textured quads: the fixed transform, the current colour and the first
// texture coordinate (through its texture matrix, as the fixed pipeline would).
void main()
{
    gl_Position = ftransform();
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
}
