// The root class of the runtime's class model: objects that containers may own and free.
#pragma once

namespace pw {

class TObject {
 public:
  TObject() = default;
  virtual ~TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
};

// Frees an object of the runtime's class model (nil is allowed), as TObject.Free does.
inline void FreeObject(TObject* object) { delete object; }

}  // namespace pw
