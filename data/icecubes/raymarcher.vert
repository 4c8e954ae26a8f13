#version 120
// One quad over the viewport; the fragment program works from where in it a pixel lies.
varying vec2 screen;

void main()
{
    gl_Position = ftransform();
    screen = gl_Vertex.xy;
}
