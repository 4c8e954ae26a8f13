#version 120
// Post effects draw the finished picture over the whole viewport; this passes its texture
// coordinates on.
void main()
{
    gl_Position = ftransform();
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_MultiTexCoord0;
}
