// The object model the components are written against: a root class with a virtual
// destructor, the bound-handler event type, and owned, named components that their owner
// frees when it is destroyed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace xkit {

// Root of every class whose objects travel as an event's Sender.
class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject();
};

// An event that carries only its sender; an empty function counts as unassigned.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// A component with an optional owner. The owner keeps a list of the components it owns and
// frees them (last inserted first) when it is destroyed; a component freed earlier removes
// itself from its owner's list. Components are created and destroyed on one thread.
class TComponent : public TObject {
public:
  explicit TComponent(TComponent* Owner);
  ~TComponent() override;

  std::string Name;

  TComponent* Owner() const { return owner_; }
  std::size_t ComponentCount() const { return components_.size(); }
  TComponent* Components(std::size_t Index) const { return components_.at(Index); }

private:
  void Insert(TComponent* component);
  void Remove(TComponent* component);

  TComponent* owner_;
  std::vector<TComponent*> components_;  // owned, in insertion order
};

}  // namespace xkit
