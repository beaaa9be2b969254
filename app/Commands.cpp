#include "app/Commands.h"

#include <array>

namespace app {

std::span<const Command> commands() {
    static const std::array<Command, 0> table{};
    return table;
}

}  // namespace app
