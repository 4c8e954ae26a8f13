#version 120
// Normal-mapped lighting by GL light 0. The tangent goes to eye space with the normal; the third
// axis of the frame is their cross product, taken per pixel.
attribute vec3 tangent;
varying vec3 position;
varying vec3 normal;
varying vec3 eye_tangent;

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    position = eye.xyz / eye.w;
    normal = gl_NormalMatrix * gl_Normal;
    eye_tangent = gl_NormalMatrix * tangent;
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_Position = ftransform();
}
