#version 120
// Shadow pipeline, lighting pass of one spot-like light with a flat shadow map. Besides the
// eye-space position and normal for the lighting, the vertex is taken to world space (inverse
// camera view), through the light's view and projection, and from its clip space (-1..1) to
// the map's texture space (0..1); the division by w is left to the lookup.
uniform mat4 camera_view_matrix_inv;
uniform mat4 light_view_matrix;
uniform mat4 light_projection_matrix;
varying vec3 position;
varying vec3 normal;
varying vec4 in_map;

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    position = eye.xyz / eye.w;
    normal = gl_NormalMatrix * gl_Normal;
    vec4 clip = light_projection_matrix * (light_view_matrix * (camera_view_matrix_inv * eye));
    in_map = vec4((clip.xyz + clip.w) * 0.5, clip.w);
    gl_Position = ftransform();
}
