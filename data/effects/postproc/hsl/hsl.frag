#version 120
// Saturation: 1 keeps the colours, 0 leaves only the luminance, above 1 strengthens them.
uniform sampler2D tex;
uniform float saturate;

void main()
{
    vec4 picture = texture2D(tex, gl_TexCoord[0].st);
    float luminance = dot(picture.rgb, vec3(0.299, 0.587, 0.114));
    gl_FragColor = vec4(clamp(mix(vec3(luminance), picture.rgb, saturate), 0.0, 1.0), picture.a);
}
