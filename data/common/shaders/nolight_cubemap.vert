#version 120
// The reflection map's faces are aligned with the world axes, so the reflection is computed in
// the object's own axes, which are the world's for the objects it is drawn on (moved and scaled
// uniformly, never turned). The viewer's position there comes from the inverse modelview.
varying vec3 incident;
varying vec3 normal;

void main()
{
    vec3 viewer = (gl_ModelViewMatrixInverse * vec4(0.0, 0.0, 0.0, 1.0)).xyz;
    incident = gl_Vertex.xyz / gl_Vertex.w - viewer;
    normal = gl_Normal;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_FrontColor = gl_Color;
    gl_Position = ftransform();
}
