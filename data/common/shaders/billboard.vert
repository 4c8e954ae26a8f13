#version 120
// Camera-facing sprites. Each corner of a sprite arrives at the sprite's centre and is pushed out
// in eye space by its texture coordinate, so the quad always faces the viewer whatever the
// modelview turns. With "size" left at 0 the corners are taken as given, for sprites whose
// quads are already laid out.
uniform float size;

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    eye.xy += (gl_MultiTexCoord0.st - 0.5) * size * eye.w;
    gl_Position = gl_ProjectionMatrix * eye;
    gl_FrontColor = gl_Color;
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
}
