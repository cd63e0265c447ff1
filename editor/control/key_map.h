// The key map: key presses of the editor control become its commands. A binding names a
// virtual key, a shift state (bit 0 Shift, bit 1 Alt, bit 2 Ctrl; bits 3-6 the mouse-button and
// double-click members of the same set), the chord state it applies in (-1: any), the chord
// state that follows it, a handler family of the control and the command byte handed to it.
// Ctrl+K opens chord state 1 and Ctrl+Q chord state 2. TateKeysCustomProcessor installs the
// common bindings, TateKeysDefaultProcessor the rest of the defaults. The control implements
// TateKeyCommands; binding a processor to anything else raises EInvalidCast.
// User-interface thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "editor/containers/ate_classes.h"
#include "editor/intf/ate_intf.h"
#include "platform/rtl/exceptions.h"

namespace pw::editor {

// The virtual keys the default bindings use (letters are their upper-case ASCII codes).
namespace vk {
inline constexpr std::uint16_t Back = 0x08, Tab = 0x09, Return = 0x0D, Prior = 0x21, Next = 0x22, End = 0x23,
                               Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28, Insert = 0x2D,
                               Delete = 0x2E;
}  // namespace vk

inline constexpr std::uint8_t kShift = 1, kAlt = 2, kCtrl = 4;

// The handler families of the editor control; each takes the command byte of its binding.
class TateKeyCommands {
 public:
  virtual ~TateKeyCommands() = default;
  virtual void MoveCommand(std::uint8_t command) = 0;
  virtual void SelectCommand(std::uint8_t command) = 0;
  virtual void BlockSelectCommand(std::uint8_t command) = 0;
  virtual void DeleteCommand(std::uint8_t command) = 0;
  virtual void LineCommand(std::uint8_t command) = 0;
  virtual void EditCommand(std::uint8_t command) = 0;
  virtual void InsertModeCommand(std::uint8_t command) = 0;
};

// A method of the control and the object it runs on; empty for chord-opening bindings.
struct TateKeyHandler {
  TateKeyCommands* Object = nullptr;
  void (TateKeyCommands::*Code)(std::uint8_t) = nullptr;
  explicit operator bool() const { return Object && Code; }
};

class TateKeyData : public TObject {
 public:
  std::uint16_t Key = 0;
  std::uint8_t Shift = 0;
  std::int8_t Chord = 0;
  std::int8_t NextChord = 0;
  TateKeyHandler Handler;
  std::uint8_t Command = 0;
};

// Sorted by key, then shift weight (the set's members 1..64 summed), then chord as a signed
// byte, so an any-state binding comes before those of the states of the same key and shift.
// Owns its bindings.
class TateKeyList : public TateSortedList {
 public:
  TateKeyList() = default;
  TateKeyList(const TateKeyList&) = delete;
  TateKeyList& operator=(const TateKeyList&) = delete;
  ~TateKeyList() override { ClearKeys(); }
  TateKeyData* Item(std::int32_t index) const { return static_cast<TateKeyData*>(Get(index)); }
  // Replaces a binding of the same key, shift and chord.
  TateKeyData* AddKey(std::uint16_t key, std::uint8_t shift, std::int8_t chord, std::int8_t nextChord,
                      TateKeyHandler handler, std::uint8_t command);
  // The binding for (key, shift) in chord state `state`: one for exactly that state (when
  // state >= 0) wins over an any-state one; nullptr when none applies.
  TateKeyData* FindKey(std::uint16_t key, std::uint8_t shift, std::int32_t state) const;
  void ClearKeys();

 protected:
  std::int32_t Compare(void* item1, void* item2) const override;
};

class TateKeysCustomProcessor : public TateKeysProcessor {
 public:
  TateKeysCustomProcessor() = default;
  bool IsInChord() const override { return ChordState != 0; }
  // Unbound: false. A binding found: its handler runs (when it has one) and the chord state
  // becomes its next state; the answer is whether a handler ran. None found: false, the chord
  // state stays.
  bool ProcessKey(std::uint16_t key, std::uint8_t shift) override;
  // Clears the bindings; with an editor (which must implement TateKeyCommands, else
  // EInvalidCast) installs the common bindings and then InitKeys'.
  void SetEditor(TcvEditorIntf* editor) override;
  virtual void InitKeys() {}
  void InitDefaultKeys();

  TcvEditorIntf* Editor() const { return editor_; }
  TateKeyList& Keys() { return keys_; }
  std::int32_t ChordState = 0;

 protected:
  // The bound editor as the target of the handlers.
  TateKeyCommands* Commands() const { return commands_; }

 private:
  TcvEditorIntf* editor_ = nullptr;
  TateKeyCommands* commands_ = nullptr;
  TateKeyList keys_;
};

// Ctrl+U and U after Ctrl+K, Ctrl+Shift+U and Shift+Tab unindent the selected lines (edit
// command 37), the counterparts of the indent bindings Ctrl+I, I, Ctrl+Shift+I and Tab.
class TateKeysDefaultProcessor : public TateKeysCustomProcessor {
 public:
  void InitKeys() override;
};

}  // namespace pw::editor
