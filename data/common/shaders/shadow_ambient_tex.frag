#version 120
// Emission plus the scene's ambient light on the textured material (texture on unit 0: the
// shadow cube is not bound during the ambient pass).
uniform sampler2D texture;

void main()
{
    vec4 base = texture2D(texture, gl_TexCoord[0].st);
    vec3 colour = gl_FrontMaterial.emission.rgb + gl_FrontMaterial.ambient.rgb * gl_LightModel.ambient.rgb * base.rgb;
    gl_FragColor = vec4(colour, gl_FrontMaterial.diffuse.a * base.a);
}
