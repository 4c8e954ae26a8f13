#version 120
// Shadow pipeline, lighting pass of one light. Besides the eye-space position and normal for the
// lighting, the vertex is taken to world space (inverse camera view) and from there into the
// light's view, whose axes are those of its shadow cube map. Textured surfaces pass their
// coordinates on as well.
uniform mat4 camera_view_matrix_inv;
uniform mat4 light_view_matrix;
varying vec3 position;
varying vec3 normal;
varying vec3 from_light;

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    position = eye.xyz / eye.w;
    normal = gl_NormalMatrix * gl_Normal;
    vec4 in_light = light_view_matrix * (camera_view_matrix_inv * eye);
    from_light = in_light.xyz / in_light.w;
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();
}
