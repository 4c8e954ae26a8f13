#version 120
// The attractor is one quad over the unit square; this passes its coordinates and colour on.
void main()
{
    gl_Position = ftransform();
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
