#include "tarn/loadingpace.h"

namespace Tarn {

LoadingPace* LoadingPace::ms_current = nullptr;

void LoadingPace::step() {
    if (ms_current)
        ms_current->onStep();
}

bool LoadingPace::cancelled() {
    return ms_current && ms_current->onCancelled();
}

LoadingPace::Scope::Scope(LoadingPace& pace) : m_previous(ms_current) {
    ms_current = &pace;
}

LoadingPace::Scope::~Scope() {
    ms_current = m_previous;
}

}  // namespace Tarn
