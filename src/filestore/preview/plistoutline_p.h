#pragma once

#include "plistoutline.h"

// Shared by the XML and binary readers: adds nodes within the limits and collects the notes.
class PlistOutlineBuilder
{
public:
    PlistOutlineBuilder(PlistOutline &outline, const PlistOutline::Limits &limits)
        : m_outline(outline), m_limits(limits)
    {
    }

    const PlistOutline::Limits &limits() const { return m_limits; }
    bool full() const { return m_outline.m_nodes.size() >= m_limits.maxNodes; }

    // The new node's index, or -1 (and a note) once the node limit is reached.
    int add(int parent, PlistOutline::Node node);
    PlistOutline::Node &node(int index) { return m_outline.m_nodes[index]; }
    void note(const QString &text);
    void fail(const QString &error);
    void setBinary(bool binary) { m_outline.m_binary = binary; }

private:
    PlistOutline &m_outline;
    PlistOutline::Limits m_limits;
};

void readBinaryPlist(PlistOutlineBuilder &builder, QByteArrayView bytes);
void readXmlPlist(PlistOutlineBuilder &builder, QByteArrayView bytes);
