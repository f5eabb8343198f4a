#include "lib/list_timeoutp.h"

#include <stdlib.h>

#include "lib/init_order.h"
#include "lib/out_of_memory.h"

elem_timeoutp* elem_timeoutp::free_list = nullptr;

list_timeoutp list_timeoutp::null RUK_INIT(RUK_INIT_TIMERS);

void* elem_timeoutp::operator new(size_t) {
  if (free_list == nullptr) {
    size_t bytes = sizeof(elem_timeoutp) * block_elements;
    auto* block = static_cast<elem_timeoutp*>(malloc(bytes));
    if (block == nullptr) out_of_memory(static_cast<long long>(bytes));
    for (int i = 0; i < block_elements; ++i) {
      block[i].next_elem = i + 1 < block_elements ? &block[i + 1] : nullptr;
    }
    free_list = block;
  }
  elem_timeoutp* e = free_list;
  free_list = e->next_elem;
  return e;
}

void elem_timeoutp::operator delete(void* p) {
  if (p == nullptr) return;
  auto* e = static_cast<elem_timeoutp*>(p);
  e->next_elem = free_list;
  free_list = e;
}

list_timeoutp::list_timeoutp(const list_timeoutp& other) : head(nullptr), tail(nullptr), count(0) {
  for (const_iterator i = other.begin(); i != other.end(); i++) push_back(const_cast<timeout*>(*i));
}

list_timeoutp& list_timeoutp::operator=(const list_timeoutp& other) {
  if (this == &other) return *this;
  clear();
  for (const_iterator i = other.begin(); i != other.end(); i++) push_back(const_cast<timeout*>(*i));
  return *this;
}

void list_timeoutp::clear() {
  while (head != nullptr) {
    elem_timeoutp* next = head->next_elem;
    delete head;
    head = next;
  }
  tail = nullptr;
  count = 0;
}

list_timeoutp::iterator list_timeoutp::push_back(timeout* t) {
  auto* e = new elem_timeoutp(t);
  e->prev_elem = tail;
  if (tail != nullptr) {
    tail->next_elem = e;
  } else {
    head = e;
  }
  tail = e;
  ++count;
  return iterator(e);
}

list_timeoutp::iterator list_timeoutp::insert(iterator position, timeout* t) {
  elem_timeoutp* at = position.elem;
  auto* e = new elem_timeoutp(t);
  e->next_elem = at;
  e->prev_elem = at->prev_elem;
  if (at->prev_elem != nullptr) {
    at->prev_elem->next_elem = e;
  } else {
    head = e;
  }
  at->prev_elem = e;
  ++count;
  return iterator(e);
}

list_timeoutp::iterator list_timeoutp::erase(iterator position) {
  elem_timeoutp* e = position.elem;
  elem_timeoutp* next = e->next_elem;
  if (e->prev_elem != nullptr) {
    e->prev_elem->next_elem = next;
  } else {
    head = next;
  }
  if (next != nullptr) {
    next->prev_elem = e->prev_elem;
  } else {
    tail = e->prev_elem;
  }
  --count;
  delete e;
  return iterator(next);
}
