#include "pool/BufferList2.h"

#include <cstdio>
#include <cstdlib>

BufferList2::~BufferList2()
{
    FreeRing();
}

int BufferList2::BuildRing(int32_t nodes)
{
    if (nodes <= 0) return -1;
    Node *first = nullptr;
    Node *last = nullptr;
    for (int32_t i = 0; i < nodes; ++i) {
        Node *node = static_cast<Node *>(std::malloc(sizeof(Node)));
        if (!node) {
            while (first) {
                Node *next = first->next;
                std::free(first);
                first = next;
            }
            return -1;
        }
        node->data = nullptr;
        node->next = nullptr;
        node->prev = last;
        if (last)
            last->next = node;
        else
            first = node;
        last = node;
    }
    last->next = first;
    first->prev = last;
    // The first put lands in the first node created.
    head = last;
    tail = last;
    count = 0;
    return 0;
}

bool BufferList2::Append(unsigned char *buffer)
{
    Node *next = tail ? tail->next : nullptr;
    if (!next || next->data) {
        std::printf("\nNULL");
        return false;
    }
    next->data = buffer;
    tail = next;
    if (count == 0) head = next;
    ++count;
    return true;
}

unsigned char *BufferList2::Take()
{
    Node *node = head;
    unsigned char *buffer = node->data;
    head = node->next;
    node->data = nullptr;
    --count;
    return buffer;
}

unsigned char *BufferList2::TakeNewest()
{
    Node *node = tail;
    unsigned char *buffer = node->data;
    tail = node->prev;
    node->data = nullptr;
    --count;
    return buffer;
}

void BufferList2::FreeRing()
{
    if (tail) {
        Node *node = tail->next;
        tail->next = nullptr;  // open the ring so the walk ends
        while (node) {
            Node *next = node->next;
            std::free(node);
            node = next;
        }
    }
    head = nullptr;
    tail = nullptr;
    count = 0;
}
