#pragma once

namespace palvimo {

// The base of every interface between the program's layers: used through a
// reference or an owning pointer, never copied, destroyed through the base.
class Interface {
 public:
  Interface(const Interface&) = delete;
  Interface& operator=(const Interface&) = delete;
  virtual ~Interface() = default;

 protected:
  Interface() = default;
};

}  // namespace palvimo
