#version 120
// Each feedback step draws the previous state over the whole target; this passes the
// texture coordinates on.
void main()
{
    gl_Position = ftransform();
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
