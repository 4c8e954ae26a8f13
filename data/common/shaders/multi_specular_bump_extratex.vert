#version 120
// Normal-mapped lighting by every light of the scene, with highlights and a glow map sharing
// the diffuse texture's coordinates. The tangent goes to eye space with the normal.
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
