#version 120
// Shadow depth pass: only the depth of each face of the light's cube map is written.
void main()
{
    gl_Position = ftransform();
}
