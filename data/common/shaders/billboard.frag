#version 120
// The sprite's texture (unit 0) times its colour; the colour's alpha fades it in a blend.
uniform sampler2D tex;

void main()
{
    gl_FragColor = texture2D(tex, gl_TexCoord[0].st) * gl_Color;
}
