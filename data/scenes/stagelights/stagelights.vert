#version 120
// A full-screen pass over the smoke picture.
void main()
{
    gl_Position = ftransform();
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
