#version 120
// Deferred shading, lighting pass: a full-screen quad whose texture coordinates address the
// geometry pass's targets.
void main()
{
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_Position = ftransform();
}
