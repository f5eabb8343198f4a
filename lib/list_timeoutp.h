// list_timeoutp: the doubly linked list of timer pointers behind the timer
// list. Elements come from a pool of their own that grows 16 at a time and is
// never given back, so that arming and disarming timers does not touch the
// heap in the steady state. The list does not own the timers it points to.
#pragma once

#include <stddef.h>
#include <stdint.h>

class timeout;

struct elem_timeoutp {
  elem_timeoutp* next_elem;
  elem_timeoutp* prev_elem;
  timeout* item;

  explicit elem_timeoutp(timeout* t) : next_elem(nullptr), prev_elem(nullptr), item(t) {}

  // The size argument is ignored: every element is the same size.
  static void* operator new(size_t);
  static void operator delete(void* element);
  static elem_timeoutp* free_list;
  static constexpr int block_elements = 16;
};

class list_timeoutp {
 public:
  // One element pointer; the null pointer is the end of every list.
  class iterator {
   public:
    explicit iterator(elem_timeoutp* e = nullptr) : elem(e) {}
    timeout* operator*() const { return elem->item; }
    iterator operator++(int) {
      iterator old = *this;
      elem = elem->next_elem;
      return old;
    }
    bool operator==(const iterator& o) const { return elem == o.elem; }
    bool operator!=(const iterator& o) const { return elem != o.elem; }
    elem_timeoutp* elem;
  };
  class const_iterator {
   public:
    explicit const_iterator(const elem_timeoutp* e = nullptr) : elem(e) {}
    const timeout* operator*() const { return elem->item; }
    const_iterator operator++(int) {
      const_iterator old = *this;
      elem = elem->next_elem;
      return old;
    }
    bool operator==(const const_iterator& o) const { return elem == o.elem; }
    bool operator!=(const const_iterator& o) const { return elem != o.elem; }
    const elem_timeoutp* elem;
  };

  list_timeoutp() : head(nullptr), tail(nullptr), count(0) {}
  list_timeoutp(const list_timeoutp& other);
  list_timeoutp& operator=(const list_timeoutp& other);
  ~list_timeoutp() { clear(); }

  void clear();
  bool empty() const { return count == 0; }
  iterator begin() { return iterator(head); }
  iterator end() { return iterator(); }
  const_iterator begin() const { return const_iterator(head); }
  const_iterator end() const { return const_iterator(); }
  // Requires a non-empty list.
  timeout* front() const { return head->item; }
  iterator push_back(timeout* t);
  // Before the element at position, which must not be the end.
  iterator insert(iterator position, timeout* t);
  // Returns the element after the erased one.
  iterator erase(iterator position);

  // A static empty list that nothing reads; it exists for the start-up order.
  static list_timeoutp null;

  elem_timeoutp* head;
  elem_timeoutp* tail;
  int32_t count;
};
