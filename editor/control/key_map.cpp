#include "editor/control/key_map.h"

namespace pw::editor {

namespace {
std::int32_t ShiftWeight(std::uint8_t shift) { return shift & 0x7F; }
}  // namespace

std::int32_t TateKeyList::Compare(void* item1, void* item2) const {
  const auto* a = static_cast<const TateKeyData*>(item1);
  const auto* b = static_cast<const TateKeyData*>(item2);
  if (a->Key != b->Key) return a->Key < b->Key ? -1 : 1;
  if (ShiftWeight(a->Shift) != ShiftWeight(b->Shift)) return ShiftWeight(a->Shift) < ShiftWeight(b->Shift) ? -1 : 1;
  if (a->Chord != b->Chord) return a->Chord < b->Chord ? -1 : 1;
  return 0;
}

TateKeyData* TateKeyList::AddKey(std::uint16_t key, std::uint8_t shift, std::int8_t chord, std::int8_t nextChord,
                                 TateKeyHandler handler, std::uint8_t command) {
  auto data = std::make_unique<TateKeyData>();
  data->Key = key;
  data->Shift = shift;
  data->Chord = chord;
  data->NextChord = nextChord;
  data->Handler = handler;
  data->Command = command;
  std::int32_t index = 0;
  if (Find(data.get(), index)) {
    delete Item(index);
    Delete(index);
  }
  Add(data.get());
  return data.release();
}

TateKeyData* TateKeyList::FindKey(std::uint16_t key, std::uint8_t shift, std::int32_t state) const {
  TateKeyData probe;
  probe.Key = key;
  probe.Shift = shift;
  probe.Chord = -1;
  std::int32_t index = 0;
  Find(&probe, index);
  TateKeyData* found = nullptr;
  for (; index < Count(); ++index) {
    TateKeyData* d = Item(index);
    if (d->Key != key || ShiftWeight(d->Shift) != ShiftWeight(shift)) break;
    if (d->Chord == -1 || (state >= 0 && d->Chord == state)) found = d;
  }
  return found;
}

void TateKeyList::ClearKeys() {
  for (std::int32_t i = 0; i < Count(); ++i) delete Item(i);
  Clear();
}

bool TateKeysCustomProcessor::ProcessKey(std::uint16_t key, std::uint8_t shift) {
  if (!editor_) return false;
  TateKeyData* d = keys_.FindKey(key, shift, ChordState);
  if (!d) return false;
  // The binding may be replaced by what its handler does: take its values first.
  const TateKeyHandler handler = d->Handler;
  const std::uint8_t command = d->Command;
  const std::int8_t next = d->NextChord;
  bool ran = false;
  if (handler) {
    (handler.Object->*handler.Code)(command);
    ran = true;
  }
  ChordState = next;
  return ran;
}

void TateKeysCustomProcessor::SetEditor(TcvEditorIntf* editor) {
  TateKeyCommands* commands = nullptr;
  if (editor) {
    commands = dynamic_cast<TateKeyCommands*>(editor);
    if (!commands) throw EInvalidCast();
  }
  editor_ = editor;
  commands_ = commands;
  keys_.ClearKeys();
  if (editor_) {
    InitDefaultKeys();
    InitKeys();
  }
}

namespace {
using Family = void (TateKeyCommands::*)(std::uint8_t);
constexpr Family kMove = &TateKeyCommands::MoveCommand, kSelect = &TateKeyCommands::SelectCommand,
                 kBlock = &TateKeyCommands::BlockSelectCommand, kDelete = &TateKeyCommands::DeleteCommand,
                 kLine = &TateKeyCommands::LineCommand, kEdit = &TateKeyCommands::EditCommand,
                 kInsertMode = &TateKeyCommands::InsertModeCommand;

struct Binding {
  std::uint16_t key;
  std::uint8_t shift;
  std::int8_t chord, next;
  Family family;  // nullptr: opens a chord
  std::uint8_t command;
};

constexpr std::uint8_t S = kShift, A = kAlt, C = kCtrl;

// In order: a later binding with the same key, shift and chord replaces an earlier one.
constexpr Binding kCommon[] = {
    {'Q', C, 0, 2, nullptr, 0},
    {'K', C, 0, 1, nullptr, 0},
    {vk::Left, 0, -1, 0, kMove, 2},
    {vk::Right, 0, -1, 0, kMove, 3},
    {vk::Home, 0, 0, 0, kMove, 10},
    {vk::End, 0, 0, 0, kMove, 11},
    {vk::Up, 0, -1, 0, kMove, 0},
    {vk::Down, 0, -1, 0, kMove, 1},
    {vk::Prior, 0, -1, 0, kMove, 4},
    {vk::Next, 0, -1, 0, kMove, 5},
    {vk::Back, 0, 0, 0, kDelete, 2},
    {vk::Back, S, 0, 0, kDelete, 2},
    {vk::Delete, 0, 0, 0, kDelete, 3},
    {vk::Delete, S, 0, 0, kDelete, 3},
    {vk::Return, 0, 0, 0, kLine, 16},
    {vk::Return, S, 0, 0, kLine, 16},
    {vk::Tab, 0, 0, 0, kLine, 18},
    {vk::Tab, S, 0, 0, kLine, 19},
    {vk::Home, S, 0, 0, kSelect, 10},
    {vk::End, S, 0, 0, kSelect, 11},
    {vk::Home, C | S, 0, 0, kSelect, 12},
    {vk::End, C | S, 0, 0, kSelect, 13},
    {vk::Left, C | S, 0, 0, kSelect, 8},
    {vk::Right, C | S, 0, 0, kSelect, 9},
    {vk::Left, S, -1, 0, kSelect, 2},
    {vk::Right, S, -1, 0, kSelect, 3},
    {vk::Up, S, -1, 0, kSelect, 0},
    {vk::Down, S, -1, 0, kSelect, 1},
    {vk::Prior, S, -1, 0, kSelect, 4},
    {vk::Next, S, -1, 0, kSelect, 5},
    {vk::Home, A | S, 0, 0, kBlock, 10},
    {vk::End, A | S, 0, 0, kBlock, 11},
    {vk::Home, C | A | S, 0, 0, kBlock, 12},
    {vk::End, C | A | S, 0, 0, kBlock, 13},
    {vk::Left, C | A | S, 0, 0, kBlock, 8},
    {vk::Right, C | A | S, 0, 0, kBlock, 9},
    {vk::Left, A | S, -1, 0, kBlock, 2},
    {vk::Right, A | S, -1, 0, kBlock, 3},
    {vk::Up, A | S, -1, 0, kBlock, 0},
    {vk::Down, A | S, -1, 0, kBlock, 1},
    {vk::Prior, A | S, -1, 0, kBlock, 4},
    {vk::Next, A | S, -1, 0, kBlock, 5},
    {'X', C, 0, 0, kEdit, 23},
    {vk::Delete, S, 0, 0, kEdit, 23},
    {'C', C, 0, 0, kEdit, 22},
    {vk::Insert, C, 0, 0, kEdit, 22},
    {vk::Insert, S, 0, 0, kEdit, 24},
    {'Z', C, 0, 0, kEdit, 20},
    {vk::Back, A, 0, 0, kEdit, 20},
    {'Z', C | S, 0, 0, kEdit, 21},
    {vk::Back, A | S, 0, 0, kEdit, 21},
    {vk::Insert, 0, 0, 0, kInsertMode, 53},
};

constexpr Binding kDefault[] = {
    // Repeats of common bindings, with the same values.
    {vk::Left, 0, -1, 0, kMove, 2},
    {vk::Right, 0, -1, 0, kMove, 3},
    {vk::Home, 0, 0, 0, kMove, 10},
    {vk::End, 0, 0, 0, kMove, 11},
    {vk::Up, 0, -1, 0, kMove, 0},
    {vk::Down, 0, -1, 0, kMove, 1},
    {vk::Prior, 0, -1, 0, kMove, 4},
    {vk::Next, 0, -1, 0, kMove, 5},
    {'X', C, 0, 0, kEdit, 23},
    {vk::Delete, S, 0, 0, kEdit, 23},
    {'C', C, 0, 0, kEdit, 22},
    {vk::Insert, C, 0, 0, kEdit, 22},
    {vk::Insert, S, 0, 0, kEdit, 24},
    {vk::Back, 0, 0, 0, kDelete, 2},
    {vk::Back, S, 0, 0, kDelete, 2},
    {vk::Delete, 0, 0, 0, kDelete, 3},
    {'Z', C, 0, 0, kEdit, 20},
    {vk::Back, A, 0, 0, kEdit, 20},
    {'Z', C | S, 0, 0, kEdit, 21},
    {vk::Back, A | S, 0, 0, kEdit, 21},
    // Its own.
    {vk::Home, C, 0, 0, kMove, 12},
    {vk::End, C, 0, 0, kMove, 13},
    {vk::Left, C, 0, 0, kMove, 8},
    {vk::Right, C, 0, 0, kMove, 9},
    {'V', C, 0, 0, kEdit, 24},
    {'Y', C, 0, 0, kDelete, 48},
    {vk::Back, C, 0, 0, kDelete, 8},
    {'T', C, 0, 0, kDelete, 9},
    {'I', C, 1, 0, kEdit, 33},
    {'I', 0, 1, 0, kEdit, 33},
    {'I', C | S, 0, 0, kEdit, 33},
    {vk::Tab, 0, 0, 0, kEdit, 33},
    {'U', C, 1, 0, kEdit, 37},
    {'U', 0, 1, 0, kEdit, 37},
    {'U', C | S, 0, 0, kEdit, 37},
    {vk::Tab, S, 0, 0, kEdit, 37},
    {vk::Up, C, 0, 0, kMove, 49},
    {vk::Down, C, 0, 0, kMove, 50},
};

template <std::size_t N>
void AddBindings(TateKeyList& keys, TateKeyCommands* commands, const Binding (&table)[N]) {
  for (const Binding& b : table)
    keys.AddKey(b.key, b.shift, b.chord, b.next, b.family ? TateKeyHandler{commands, b.family} : TateKeyHandler{},
                b.command);
}
}  // namespace

void TateKeysCustomProcessor::InitDefaultKeys() { AddBindings(keys_, commands_, kCommon); }

void TateKeysDefaultProcessor::InitKeys() { AddBindings(Keys(), Commands(), kDefault); }

}  // namespace pw::editor
