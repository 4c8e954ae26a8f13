#version 120
// Pixelation: the picture is cut into "blocks" cells across and up, each showing the colour at
// its centre. With as many blocks as pixels the picture is unchanged.
uniform sampler2D tex;
uniform vec2 blocks;

void main()
{
    vec2 cells = max(blocks, vec2(1.0));
    vec2 centre = (floor(gl_TexCoord[0].st * cells) + 0.5) / cells;
    gl_FragColor = texture2D(tex, centre);
}
