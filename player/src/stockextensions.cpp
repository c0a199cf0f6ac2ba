#include "stockextensions.h"

#include <tarn/ext/anisotropicflareeffect.h>
#include <tarn/ext/assimploader.h>
#include <tarn/ext/dofeffect.h>
#include <tarn/ext/fogeffect.h>
#include <tarn/ext/fxaaeffect.h>
#include <tarn/ext/gloweffect.h>
#include <tarn/ext/lensflareeffect.h>
#include <tarn/ext/motionblureffect.h>
#include <tarn/ext/reflectioneffect.h>
#include <tarn/ext/ssaoeffect.h>

void registerStockExtensions() {
    Tarn::Ext::AssimpLoader::registerExtension();
    Tarn::Ext::AnisotropicFlareEffect::registerExtension();
    Tarn::Ext::MotionBlurEffect::registerExtension();
    Tarn::Ext::DoFEffect::registerExtension();
    Tarn::Ext::SSAOEffect::registerExtension();
    Tarn::Ext::FXAAEffect::registerExtension();
    Tarn::Ext::LensFlareEffect::registerExtension();
    Tarn::Ext::FogEffect::registerExtension();
    Tarn::Ext::GlowEffect::registerExtension();
    Tarn::Ext::ReflectionEffect::registerExtension();
}
