// Small fixtures for the container tests: a reference-counted object that counts its
// destructions and a runtime object that records the order in which objects are freed.
#pragma once

#include <vector>

#include "core/com/interfaced_object.h"

namespace pw::test {

class TCounted : public TcvInterfacedObject {
 public:
  explicit TCounted(int* destroyed) : destroyed_(destroyed) {}
  ~TCounted() override { ++*destroyed_; }
  // The object as a container item under interface ownership.
  void* AsItem() { return Identity(); }

 private:
  int* destroyed_;
};

class TRecorded : public TObject {
 public:
  TRecorded(std::vector<int>* log, int id) : log_(log), id_(id) {}
  ~TRecorded() override { log_->push_back(id_); }
  // The object as a container item under object ownership.
  void* AsItem() { return static_cast<TObject*>(this); }

 private:
  std::vector<int>* log_;
  int id_;
};

}  // namespace pw::test
