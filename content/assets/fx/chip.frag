// The retro break's colours jump with the chip drums: on each hit the
// palette turns a third of the way round (red to green to blue), easing
// back as the hit fades, as the colour cycling of 8-bit demos did.
uniform float uAmount; // @param 0..1 = 0.6

void main() {
    vec4 picture = texture(uInput, v_uv);
    float hit = uAmount * uOnset;
    fragColor = vec4(mix(picture.rgb, picture.brg, hit), picture.a);
}
