// Growing a buffer without letting an allocation failure escape: this program
// never throws, and running out of memory is a failure with a message like any
// other (large packages in a 32-bit process make it a real case).
#pragma once

#include <cstddef>
#include <new>
#include <stdexcept>

template <typename Container>
bool TryResize(Container& container, size_t size) {
    try {
        container.resize(size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

template <typename Container, typename Iterator>
bool TryAppend(Container& container, Iterator first, Iterator last) {
    try {
        container.insert(container.end(), first, last);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}
