#version 120
// The blurred texture is drawn as a quad; this passes its coordinates and colour on.
void main()
{
    gl_Position = ftransform();
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
