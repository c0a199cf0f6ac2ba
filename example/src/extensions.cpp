#include "extensions.h"

#include <tarn/ext/assimploader.h>
#include <tarn/ext/dofeffect.h>
#include <tarn/ext/gloweffect.h>

#include "amigascene.h"
#include "overlay.h"
#include "raymarchedscene.h"

void registerExtensions() {
    Tarn::Ext::AssimpLoader::registerExtension();
    Tarn::Ext::DoFEffect::registerExtension();
    Tarn::Ext::GlowEffect::registerExtension();
    RaymarchedScene::registerExtension();
    AmigaScene::registerExtension();
    OverlayEffect::registerExtension();
}
