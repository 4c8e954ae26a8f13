#version 120
// The texture on unit 0 times the current colour, alpha included: a colour of 0 adds nothing
// to an additive or alpha blend.
uniform sampler2D tex;

void main()
{
    gl_FragColor = texture2D(tex, gl_TexCoord[0].st) * gl_Color;
}
