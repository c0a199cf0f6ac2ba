// The pillars' city breathes with the bass: the whole picture brightens as
// the bass swells on each kick and settles between them. The bass of this
// section never falls far (the bass line holds between kicks), so only what
// rises above uFloor lifts the picture, by up to uLift.
uniform float uLift; // @param 0..2 = 1
uniform float uFloor; // @param 0..1 = 0.8

void main() {
    vec4 picture = texture(uInput, v_uv);
    float kick = smoothstep(uFloor, 1.0, uBands.x);
    fragColor = vec4(picture.rgb * (1.0 + uLift * kick), picture.a);
}
