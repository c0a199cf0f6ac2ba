#ifndef TARN_POSTFX_EFFECT_H
#define TARN_POSTFX_EFFECT_H

// A post-processing effect: full-screen passes run in order over the chain's
// buffers, and named parameters that the passes read at every frame and that
// automation writes between frames. Made by an extension's create() through
// the effect factory; whoever asked the factory owns it (the demo hands it to
// the chain and keeps it until exit). Neither copyable nor movable: its
// automatable properties point into it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tarn/postfx/chain.h"
#include "tarn/scenegraph/property.h"

namespace Tarn::PostFX {

class Effect {
public:
    enum PropertyType : int { PT_FLOAT = 0, PT_VEC2 = 1, PT_VEC3 = 2, PT_VEC4 = 3, PT_MAT4 = 4 };

    // One parameter; `type` says which member of `value` is meaningful. A
    // default one is PT_FLOAT 0.0 with every component zero.
    struct Property {
        PropertyType type = PT_FLOAT;
        union {
            float f;
            float v2[2];
            float v3[3];
            float v4[4];
            const float* m4;  // 16 floats the caller owns and keeps alive; not a copy
        } value;

        Property() : value{} {
            for (float& component : value.v4)
                component = 0.0f;
        }
    };

    // A pass reads its parameters through a captured Effect* at every
    // frame, never caching them, so automation between frames takes effect.
    using Pass = std::function<void(Chain::Buffers&)>;

    Effect() = default;
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    // Appends a pass and (re)makes the one automatable property "bypass",
    // whose value "f" is the bypass number: an effect with passes can be
    // switched off by automation, one without has no "bypass".
    void addPass(Pass pass);
    std::size_t passCount() const { return m_passes.size(); }

    // The parameter, inserted as a zero PT_FLOAT when absent. Entries never
    // move once inserted. Looking up an existing name allocates nothing.
    Property& property(std::string_view name);

    // Each stores the value with its type (inserting the name when absent)
    // and rebuilds the automatable property of that name in place, with the
    // values "f", or "x", "y"[, "z"[, "w"]] pointing at the components: an
    // Automation already bound to it keeps working.
    void setProperty(std::string_view name, float f);
    void setProperty(std::string_view name, float x, float y);
    void setProperty(std::string_view name, float x, float y, float z);
    void setProperty(std::string_view name, float x, float y, float z, float w);
    // Keeps the caller's pointer to 16 floats; a matrix is not automatable,
    // so the automatable properties are left as they are.
    void setProperty(std::string_view name, const float* matrix);

    // The property automation binds to, inserted as an empty "Unnamed
    // property" when absent.
    Scenegraph::Property& automatableProperty(std::string_view name);
    // Whether the effect has an automatable property of that name (for
    // loaders that report a misspelt parameter instead of animating nothing).
    bool hasAutomatableProperty(std::string_view name) const {
        return m_automatableProperties.find(name) != m_automatableProperties.end();
    }
    // The names of its automatable properties, in byte-wise order, for
    // "did you mean" suggestions.
    std::vector<std::string> automatablePropertyNames() const {
        std::vector<std::string> names;
        for (const auto& entry : m_automatableProperties)
            names.push_back(entry.first);
        return names;
    }

    // The largest value a parameter runs with (a loop count): the effect's
    // passes use `most` for anything above it, and script readers report a
    // line asking for more once, at the line
    // (DemoScriptGLTest.ValuesAboveAParametersMostAreReportedOnce).
    // maximum() is infinity for a parameter without one.
    void setMaximum(std::string_view name, float most);
    float maximum(std::string_view name) const;

    // The name the factory made it under ("Effect" for one made by hand);
    // the profiler labels the passes "NAME pass N".
    void setName(std::string_view name);
    const std::string& name() const { return m_name; }

    // Images an effect reads from content, named by a word ("image"): a
    // demo script line `effect Overlay image assets/title.png` calls
    // setImage("image", path). The effect's creator installs the handler;
    // setImage is false, and changes nothing, for an effect without one or a
    // word the handler does not take. Images named so are read upright.
    using ImageHandler = std::function<bool(const std::string& word, const std::string& path)>;
    void setImageHandler(ImageHandler handler) { m_imageHandler = std::move(handler); }
    bool setImage(const std::string& word, const std::string& path) {
        return m_imageHandler && m_imageHandler(word, path);
    }

    // What a frame of the effect depends on besides its own time. The
    // player walks the bypass's past on a seek for effects with any history,
    // and draws the frames since the restart first for those with feedback,
    // so that a frame is the same however it was reached.
    enum History { NoHistory, TurnOn, Feedback };
    void setHistory(History history) { m_history = history; }
    History history() const { return m_history; }

    // Demo time of the frame the effect last turned on: the first frame it
    // ran after one it did not run (bypassed, skipped), a frame marked
    // restart, or one earlier than the frame before. turningOn() is true while that frame applies it.
    double turnedOn() const { return m_turnedOn; }
    bool turningOn() const { return m_turningOn; }
    // For the next frame marked restart, when the effect runs on it: the
    // time it turned on before (from the bypass's past), in place of that
    // frame's own; a negative time forgets an earlier seed.
    void seedTurnOn(double time) { m_seed = time; }

    void setBypass(bool bypassed) { m_bypassed = bypassed ? 1.0f : 0.0f; }
    // Any value but exactly 0.0 bypasses: automation may drive it like any
    // other parameter.
    bool bypassed() const { return m_bypassed != 0.0f; }

    // Runs every pass in order, unless bypassed; a bypassed effect leaves
    // buffers exactly as they were.
    void apply(Chain::Buffers& buffers);

private:
    void f_store(std::string_view name, PropertyType type, std::initializer_list<float> values);

    std::string m_name = "Effect";
    std::string m_passLabel = "Effect pass";
    std::vector<Pass> m_passes;
    std::map<std::string, Property, std::less<>> m_properties;
    std::map<std::string, Scenegraph::Property, std::less<>> m_automatableProperties;
    std::map<std::string, float, std::less<>> m_maxima;
    float m_bypassed = 0.0f;
    History m_history = NoHistory;
    bool m_ran = false;  // on the frame before
    bool m_turningOn = false;
    std::int64_t m_lastFrame = 0;
    double m_turnedOn = 0.0;
    double m_lastTime = 0.0;
    double m_seed = -1.0;
    ImageHandler m_imageHandler;
};

}  // namespace Tarn::PostFX

#endif
