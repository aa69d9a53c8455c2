#pragma once

#include <algorithm>
#include <vector>

// A fixed-capacity ring addressed relative to a moving origin: Peek(0) is the
// sample at the origin, Peek(-k) the one k places before it. Pushing writes
// behind the last push, popping moves the origin on. Block copies wrap at the
// end of the ring, so any length and any index stay inside it.
template <typename T>
class CircularBuffer {
public:
    CircularBuffer() : _readIdx(0), _writeIdx(0) {}
    virtual ~CircularBuffer() {}

    // Clears the ring to zeros at the new capacity.
    void SetCapacity(int n)
    {
        _data.assign(std::max(n, 0), T());
        _readIdx = 0;
        _writeIdx = 0;
    }
    int GetCapacity() const { return (int)_data.size(); }
    // Room for capacities up to n, so that SetCapacity within it never allocates.
    void Reserve(int n) { _data.reserve(std::max(n, 0)); }

    // Appends n samples. More than the capacity leaves only the last
    // capacity of them, as the earlier ones would be overwritten anyway.
    void Push(const T* data, int n)
    {
        int capacity = GetCapacity();
        if (capacity == 0 || n <= 0)
            return;
        int skipped = std::max(n - capacity, 0);
        CopyIn(Wrap(_writeIdx + skipped), data + skipped, n - skipped);
        _writeIdx = Wrap(_writeIdx + n);
    }

    void Pop(int n)
    {
        if (!_data.empty())
            _readIdx = Wrap(_readIdx + n);
    }

    T Peek(int i) const { return _data.empty() ? T() : _data[Wrap(_readIdx + i)]; }

    void Poke(int i, T v)
    {
        if (!_data.empty())
            _data[Wrap(_readIdx + i)] = v;
    }

    // Where Peek(i) reads in the ring, for rings read in lock-step: rings of
    // one capacity pushed and popped alike share it, so one wrap serves all.
    // Only for a ring with a capacity.
    int IndexOf(int i) const { return Wrap(_readIdx + i); }
    T At(int index) const { return _data[index]; }
    void Set(int index, T v) { _data[index] = v; }

    // Unread samples; a ring filled to its capacity reads as empty.
    int GetSize() const { return _data.empty() ? 0 : Wrap(_writeIdx - _readIdx); }

    // Copies n samples from the origin on into data; the indices stay.
    void Peek(T* data, int n) const
    {
        ForEachPiece(_readIdx, n, [&](int pos, int offset, int piece) {
            std::copy(_data.begin() + pos, _data.begin() + pos + piece, data + offset);
        });
    }

    // Overwrites n samples from the origin on with data; the indices stay.
    void Poke(const T* data, int n) { CopyIn(_readIdx, data, n); }

private:
    int Wrap(long idx) const
    {
        long capacity = (long)_data.size();
        long wrapped = idx % capacity;
        return (int)(wrapped < 0 ? wrapped + capacity : wrapped);
    }

    void CopyIn(int start, const T* data, int n)
    {
        ForEachPiece(start, n, [&](int pos, int offset, int piece) {
            std::copy(data + offset, data + offset + piece, _data.begin() + pos);
        });
    }

    // Calls copyPiece(ring index, offset in the block, length) for the
    // pieces of an n-sample block from ring index start on, each ending at
    // the latest at the end of the ring.
    template <typename CopyPiece>
    void ForEachPiece(int start, int n, CopyPiece copyPiece) const
    {
        int capacity = GetCapacity();
        if (capacity == 0)
            return;
        int pos = start;
        for (int offset = 0; offset < n; pos = 0) {
            int piece = std::min(n - offset, capacity - pos);
            copyPiece(pos, offset, piece);
            offset += piece;
        }
    }

    std::vector<T> _data;
    int _readIdx;
    int _writeIdx;
};
