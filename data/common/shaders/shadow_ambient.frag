#version 120
// Emission plus the scene's ambient light on the material; the lit passes are added on top.
void main()
{
    vec3 colour = gl_FrontMaterial.emission.rgb + gl_FrontMaterial.ambient.rgb * gl_LightModel.ambient.rgb;
    gl_FragColor = vec4(colour, gl_FrontMaterial.diffuse.a);
}
