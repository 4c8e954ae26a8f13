#version 120
// Per-pixel lighting by GL light 0 on untextured surfaces: eye-space position and normal.
varying vec3 position;
varying vec3 normal;

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    position = eye.xyz / eye.w;
    normal = gl_NormalMatrix * gl_Normal;
    gl_Position = ftransform();
}
