#version 120
// The picture on unit 0 seen through big square pixels: every fragment of a block samples the
// block's centre. "blocks" is the count across the picture; left unset it falls back to a
// coarse built-in count rather than dividing by zero.
uniform sampler2D tex;
uniform float blocks;

void main()
{
    float count = blocks > 0.0 ? blocks : 64.0;
    vec2 uv = (floor(gl_TexCoord[0].st * count) + 0.5) / count;
    gl_FragColor = texture2D(tex, uv) * gl_Color;
}
