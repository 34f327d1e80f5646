// The measured run for our library, used the way the program uses it.
#include <string_view>

#include "bench/Measure.h"
#include "platform/Streams.h"
#include "xml/XXmlDom.h"

namespace tessara::bench {

TSample RunTessara(const TJob& job) {
    TSample s;
    TProbe probe;
    probe.Start();
    TRef<TXmlDDocument> doc(new TXmlDDocument());
    doc->LoadFromFile(job.Input);
    s.Load = probe.Lap();
    s.PeakLoad = probe.PeakAboveBaseline();

    // As the program lists its templates and copies one: the name, then both texts.
    uint64_t walked = 0;
    const std::string empty;
    std::string copy;  // a text that is not stored in one piece
    for (TXmlDNode* node = doc->DocumentElement()->FirstChild(); node != nullptr; node = node->NextSibling()) {
        if (node->NodeType() != ntElement) continue;
        walked += static_cast<TXmlDElement*>(node)->GetAttribute("name", empty).size();
        TXmlDNode* controls = node->FirstChild();
        if (controls == nullptr) continue;
        walked += TextOf(controls, copy).size();
        if (TXmlDNode* module = controls->NextSibling()) walked += TextOf(module, copy).size();
    }
    s.Walked = walked;
    s.Walk = probe.Lap();

    doc->SaveToFile(job.Output);
    s.Save = probe.Lap();
    s.PeakSave = probe.PeakAboveBaseline();

    {
        TFileStream plain(job.PlainOutput, TFileMode::CreateExclusive);
        doc->SaveToStream(&plain);
    }
    s.SavePlain = probe.Lap();

    s.RenderedBytes = doc->GetXml().size();
    s.SaveMemory = probe.Lap();

    doc.Reset();
    s.Destroy = probe.Lap();
    if (job.CompareOutput)
        s.RoundTrip = SameFileContents(job.Input, job.Output) && SameFileContents(job.Input, job.PlainOutput) ? 1 : 0;
    return s;
}

}  // namespace tessara::bench
