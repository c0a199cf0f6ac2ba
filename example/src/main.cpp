// TARN: the player with TARN's own effects registered beside the stock ones.

#include "extensions.h"
#include "player.h"

int main(int argc, char** argv) {
    return runPlayer(argc, argv, registerExtensions);
}
