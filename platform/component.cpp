// Ownership bookkeeping of components.
#include "platform/component.h"

#include <algorithm>

namespace xkit {

TObject::~TObject() = default;

TComponent::TComponent(TComponent* Owner) : owner_(Owner) {
  if (owner_ != nullptr) owner_->Insert(this);
}

TComponent::~TComponent() {
  // Each owned component's destructor takes itself off the list, so the loop always frees
  // the current last one.
  while (!components_.empty())
    delete components_.back();
  if (owner_ != nullptr) owner_->Remove(this);
}

void TComponent::Insert(TComponent* component) {
  components_.push_back(component);
}

void TComponent::Remove(TComponent* component) {
  const auto found = std::find(components_.begin(), components_.end(), component);
  if (found != components_.end()) components_.erase(found);
}

}  // namespace xkit
