// The component store: the product's features with their states, sizes,
// descriptions and flags.
#pragma once

namespace kestrawl::script {

class ComponentStore {
 public:
};

}  // namespace kestrawl::script
