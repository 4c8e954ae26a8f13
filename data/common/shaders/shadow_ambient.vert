#version 120
// Shadow pipeline, ambient pass: what every surface shows before any light reaches it.
void main()
{
    gl_Position = ftransform();
}
