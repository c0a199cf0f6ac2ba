#include "extensions.h"

#include <tarn/ext/assimploader.h>
#include <tarn/ext/dofeffect.h>
#include <tarn/ext/gloweffect.h>

void registerExtensions() {
    Tarn::Ext::AssimpLoader::registerExtension();
    Tarn::Ext::DoFEffect::registerExtension();
    Tarn::Ext::GlowEffect::registerExtension();
}
