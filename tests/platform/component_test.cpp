// Components: an owner frees what it owns, and a component freed first leaves its owner.
#include "platform/component.h"

#include <gtest/gtest.h>

#include <vector>

namespace xkit {
namespace {

// Notes its name in a shared log when destroyed.
class Logged : public TComponent {
public:
  Logged(TComponent* owner, std::string name, std::vector<std::string>& log)
      : TComponent(owner), log_(log) {
    Name = std::move(name);
  }
  ~Logged() override { log_.push_back(Name); }

private:
  std::vector<std::string>& log_;
};

TEST(Component, OwnerFreesOwnedComponentsLastFirst) {
  std::vector<std::string> log;
  auto* root = new Logged(nullptr, "root", log);
  auto* a = new Logged(root, "a", log);
  new Logged(root, "b", log);
  new Logged(a, "a1", log);
  EXPECT_EQ(root->ComponentCount(), 2u);
  EXPECT_EQ(root->Components(0), a);
  EXPECT_EQ(a->Owner(), root);
  delete root;
  EXPECT_EQ(log, (std::vector<std::string>{"root", "b", "a", "a1"}));
}

TEST(Component, ComponentFreedFirstLeavesItsOwner) {
  std::vector<std::string> log;
  Logged root(nullptr, "root", log);
  auto* a = new Logged(&root, "a", log);
  new Logged(&root, "b", log);
  delete a;
  ASSERT_EQ(root.ComponentCount(), 1u);
  EXPECT_EQ(root.Components(0)->Name, "b");
}

}  // namespace
}  // namespace xkit
