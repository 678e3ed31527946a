#include "lookup/check_state.h"

#include <cstring>

#include "base/text.h"

CheckState checkState;

void clearCheckState() {
    std::memset(&checkState, 0, sizeof checkState);
}

void zeroShownPrices() {
    checkState.price = 0;
    checkState.unitPrice = 0;
    checkState.net1 = 0;
    checkState.net2 = 0;
    checkState.gross1 = 0;
    checkState.gross2 = 0;
}

void showTextWithoutPrices(const char* text) {
    copyText(checkState.itemName, text);
    zeroShownPrices();
}
