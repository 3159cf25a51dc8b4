/* A FIFO of buffer pointers kept in a fixed circular ring of nodes, so that
 * queueing and dequeueing never allocate. */
#ifndef KOVA_POOL_BUFFERLIST2_H
#define KOVA_POOL_BUFFERLIST2_H

#include <cstdint>

class BufferList2 {
public:
    struct Node {
        unsigned char *data;  // the buffer held, or null when the node is free
        Node *next;
        Node *prev;
    };

    Node *head = nullptr;  // oldest buffer; meaningful while count > 0
    Node *tail = nullptr;  // newest buffer; a put goes into its successor
    int32_t count = 0;

    BufferList2() = default;
    BufferList2(const BufferList2 &) = delete;
    BufferList2 &operator=(const BufferList2 &) = delete;
    /* Frees the ring, never the buffers it points to. */
    virtual ~BufferList2();

    /* Builds a ring of `nodes` free nodes: 0, or -1 when nodes <= 0 or a
     * node cannot be allocated (the list then has no ring). */
    int BuildRing(int32_t nodes);
    /* Queues `buffer` behind the newest one. Fails, printing "\nNULL",
     * when the list has no ring or the next node is occupied; the buffer
     * then stays with the caller. */
    bool Append(unsigned char *buffer);
    /* Dequeues the oldest buffer; count must be above 0. */
    unsigned char *Take();
    /* Dequeues the newest buffer; count must be above 0. */
    unsigned char *TakeNewest();
    /* Frees every node; head, tail and count become null and 0. */
    void FreeRing();
};

#endif
