#version 120
// Fades the picture toward white (color.x = 1) or black (color.x = 0) by color.y.
uniform sampler2D tex;
uniform vec2 color;

void main()
{
    vec4 picture = texture2D(tex, gl_TexCoord[0].st);
    gl_FragColor = vec4(mix(picture.rgb, vec3(color.x), clamp(color.y, 0.0, 1.0)), picture.a);
}
