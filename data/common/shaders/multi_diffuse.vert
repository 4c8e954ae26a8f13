#version 120
// Per-pixel lighting by every light of the scene: eye-space position and normal, and the
// diffuse texture's coordinates.
varying vec3 position;
varying vec3 normal;

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    position = eye.xyz / eye.w;
    normal = gl_NormalMatrix * gl_Normal;
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_Position = ftransform();
}
