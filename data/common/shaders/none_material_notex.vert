#version 120
// Unlit surfaces: only the transform.
void main()
{
    gl_Position = ftransform();
}
