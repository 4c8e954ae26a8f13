#version 120
// Normals and depth of the geometry: the normal in eye space, and how far along the view the
// point lies between the near and far planes, read back from the projection so the picture
// follows whatever near and far the camera was given.
varying vec3 normal;
varying float depth;

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    gl_Position = gl_ProjectionMatrix * eye;
    normal = gl_NormalMatrix * gl_Normal;
    // A perspective projection holds -(f + n) / (f - n) and -2 f n / (f - n) in its third
    // column's last two rows; n and f follow from the pair.
    float a = gl_ProjectionMatrix[2][2];
    float b = gl_ProjectionMatrix[3][2];
    float near = b / (a - 1.0);
    float far = b / (a + 1.0);
    depth = (-eye.z - near) / (far - near);
}
