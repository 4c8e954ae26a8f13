#version 120
// Twister: the mesh is wrung about its Y axis, each vertex turned by an angle proportional to
// its height. "twist" is the angle per unit of height at full swing; "time" swings the twist
// back and forth, and at time 0 the full twist holds. Normal and tangent turn with their vertex
// (the small shear the twist adds to them is ignored), and the outputs are those of the
// specular bump program's vertex stage, whose fragment stage lights the result.
uniform float twist;
uniform float time;
attribute vec3 tangent;
varying vec3 position;
varying vec3 normal;
varying vec3 eye_tangent;

vec3 turn(vec3 p, float c, float s)
{
    return vec3(c * p.x + s * p.z, p.y, c * p.z - s * p.x);
}

void main()
{
    float angle = twist * gl_Vertex.y * cos(time);
    float c = cos(angle);
    float s = sin(angle);
    vec4 vertex = vec4(turn(gl_Vertex.xyz, c, s), gl_Vertex.w);
    vec4 eye = gl_ModelViewMatrix * vertex;
    position = eye.xyz / eye.w;
    normal = gl_NormalMatrix * turn(gl_Normal, c, s);
    eye_tangent = gl_NormalMatrix * turn(tangent, c, s);
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_Position = gl_ModelViewProjectionMatrix * vertex;
}
