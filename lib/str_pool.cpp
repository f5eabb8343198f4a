// Storage of str: the eleven buffer pools and the slots of heap strings,
// and the end of the process when the heap has no more (lib/out_of_memory.h),
// which every allocation of lib/ and display/ takes.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "lib/out_of_memory.h"
#include "lib/str.h"

namespace {

struct pool {
  int32_t capacity;
  str::reference* head;  // released blocks of exactly this capacity
};

pool pools[str::pool_classes] = {
    {52, nullptr},    {116, nullptr},   {244, nullptr},   {500, nullptr},
    {1012, nullptr},  {2036, nullptr},  {4084, nullptr},  {8180, nullptr},
    {16372, nullptr}, {32756, nullptr}, {65524, nullptr},
};

// A slot holds one heap-allocated str, or the link to the next free slot.
union slot {
  slot* next;
  alignas(str) unsigned char storage[sizeof(str)];
};
constexpr int slots_per_chunk = 16;
slot* free_slots = nullptr;

// A fresh block from the heap; null when the heap refuses.
str::reference* new_block(int32_t capacity) {
  size_t bytes = offsetof(str::reference, bytes) + static_cast<size_t>(capacity);
  auto* block = static_cast<str::reference*>(malloc(bytes));
  if (block == nullptr) return nullptr;
  block->count = 1;
  block->size = capacity;
  return block;
}

}  // namespace

int32_t str::class_capacity(int cls) {
  return cls >= 0 && cls < pool_classes ? pools[cls].capacity : 0;
}

str::reference* str::get_cstring(int n) {
  reference* block = try_get_cstring(n);
  if (block == nullptr) out_of_memory(n);
  return block;
}

str::reference* str::try_get_cstring(int n) {
  for (pool& p : pools) {
    if (p.capacity >= n) {
      reference* block = p.head;
      if (block == nullptr) return new_block(p.capacity);
      p.head = block->next_free;
      block->count = 1;
      block->size = p.capacity;
      return block;
    }
  }
  // Above the largest class: whole steps of 32768 bytes, back to the heap
  // when released.
  long long capacity = (static_cast<long long>(n) + large_step - 1) / large_step * large_step;
  if (capacity > INT32_MAX - static_cast<long long>(offsetof(reference, bytes))) return nullptr;
  return new_block(static_cast<int32_t>(capacity));
}

str::reference* str::try_resize_block(reference* block, int n) {
  long long capacity = (static_cast<long long>(n) + large_step - 1) / large_step * large_step;
  if (capacity > INT32_MAX - static_cast<long long>(offsetof(reference, bytes))) return nullptr;
  size_t bytes = offsetof(reference, bytes) + static_cast<size_t>(capacity);
  auto* resized = static_cast<reference*>(realloc(block, bytes));
  if (resized == nullptr) return nullptr;
  resized->size = static_cast<int32_t>(capacity);
  return resized;
}

void str::release_cstring(reference* block) {
  for (pool& p : pools) {
    if (p.capacity == block->size) {
      block->next_free = p.head;
      p.head = block;
      return;
    }
  }
  free(block);
}

void* str::operator new(size_t) {
  if (free_slots == nullptr) {
    auto* chunk = static_cast<slot*>(malloc(sizeof(slot) * slots_per_chunk));
    if (chunk == nullptr) out_of_memory(static_cast<long long>(sizeof(slot) * slots_per_chunk));
    for (int i = 0; i < slots_per_chunk; ++i) {
      chunk[i].next = i + 1 < slots_per_chunk ? &chunk[i + 1] : nullptr;
    }
    free_slots = chunk;
  }
  slot* s = free_slots;
  free_slots = s->next;
  return s;
}

void str::operator delete(void* p) {
  if (p == nullptr) return;
  auto* s = static_cast<slot*>(p);
  s->next = free_slots;
  free_slots = s;
}

void out_of_memory(long long bytes) {
  char message[96];
  int n = snprintf(message, sizeof message, "ruk: out of memory (%lld bytes wanted)\n", bytes);
  if (write(2, message, static_cast<size_t>(n)) < 0) {
    // Nothing more can be done; the exit below says enough.
  }
  _exit(255);
}
