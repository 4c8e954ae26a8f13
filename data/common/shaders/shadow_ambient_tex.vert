#version 120
// Shadow pipeline, ambient pass of textured surfaces.
void main()
{
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_Position = ftransform();
}
