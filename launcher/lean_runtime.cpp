// The launcher throws no exceptions, so it does without the C++ library's exception support:
// the few places where the library would throw (allocation failure, a string grown past its
// maximum, an out-of-range index) or fail one of its assertions end the process instead.
// Linked into Korvo.exe only; this keeps the executable a small fraction of what the exception
// and locale machinery weighs.
#include <cstdlib>
#include <new>

namespace std {

void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }
// A failed check of the library's own assertions (empty vector's back(), index past the end):
// ends the process like the throw points, without the library's reporting, which brings printf.
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { abort(); }

}  // namespace std

void* operator new(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block) std::abort();
    return block;
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
