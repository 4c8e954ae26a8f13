#version 120
// A full-screen pass over the plain picture.
void main()
{
    gl_Position = ftransform();
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
