// The measured run for pugixml: its default parse and its raw writer.
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include <pugixml.hpp>

#include "bench/Measure.h"

namespace tessara::bench {

TSample RunPugixml(const TJob& job) {
    TSample s;
    TProbe probe;
    probe.Start();
    auto doc = std::make_unique<pugi::xml_document>();
    const pugi::xml_parse_result parsed = doc->load_file(job.Input.c_str(), pugi::parse_default);
    if (!parsed) throw std::runtime_error(std::string("pugixml: ") + parsed.description());
    s.Load = probe.Lap();
    s.PeakLoad = probe.PeakAboveBaseline();

    uint64_t walked = 0;
    for (pugi::xml_node node = doc->document_element().first_child(); node; node = node.next_sibling()) {
        walked += std::strlen(node.attribute("name").value());
        pugi::xml_node controls = node.first_child();
        if (!controls) continue;
        walked += std::strlen(controls.child_value());
        walked += std::strlen(controls.next_sibling().child_value());
    }
    s.Walked = walked;
    s.Walk = probe.Lap();

    // No declaration, so that both writers write the same document.
    if (!doc->save_file(job.Output.c_str(), "", pugi::format_raw | pugi::format_no_declaration))
        throw std::runtime_error("pugixml: save failed");
    s.Save = probe.Lap();
    s.PeakSave = probe.PeakAboveBaseline();

    // pugixml's save is a plain one already: the same again, for the row that compares like
    // with like.
    if (!doc->save_file(job.PlainOutput.c_str(), "", pugi::format_raw | pugi::format_no_declaration))
        throw std::runtime_error("pugixml: save failed");
    s.SavePlain = probe.Lap();

    {
        struct TStringWriter : pugi::xml_writer {
            std::string Text;
            void write(const void* data, size_t size) override { Text.append(static_cast<const char*>(data), size); }
        } writer;
        doc->save(writer, "", pugi::format_raw | pugi::format_no_declaration);
        s.RenderedBytes = writer.Text.size();
    }
    s.SaveMemory = probe.Lap();

    doc.reset();
    s.Destroy = probe.Lap();
    return s;
}

}  // namespace tessara::bench
