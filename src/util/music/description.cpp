// Music description and controller template reader.
#include "util/music/description.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstring>

#include "platform/fatal.h"
#include "util/data/data.h"
#include "util/music/modulators/adsr.h"
#include "util/music/modulators/arp.h"
#include "util/music/modulators/lfo.h"
#include "util/xml/xml_document.h"

namespace {

void load_document(TiXmlDocument& document, const char* path) {
    FILE* f = open_file(path, "rb");
    if (!f) ZV_FATAL("Could not load %s. Error='Failed to open file'. Exiting.\n", path);
    if (!load_xml_document(document, f, path)) ZV_FATAL("Could not load %s. Error='%s'. Exiting.\n", path, document.ErrorDesc());
}

// The root element a reader needs; without it the fixed report, and on its next line the file
// and what TinyXML read instead.
TiXmlElement* root_of(TiXmlDocument& document, const char* wanted, const char* path) {
    TiXmlElement* element = document.FirstChildElement(wanted);
    if (!element) ZV_FATAL("element is NULL\n%s: %s", path, missing_root_reason(document, wanted).c_str());
    return element;
}

TiXmlElement* require(TiXmlElement* element, const char* name) {
    if (!element) ZV_FATAL("%s is NULL", name);
    return element;
}

const char* text_of(TiXmlElement* element, const char* name) {
    const char* text = element->GetText();
    if (!text) ZV_FATAL("%s has no text", name);
    return text;
}

const char* attribute_of(TiXmlElement* element, const char* attribute, const char* element_name) {
    const char* value = element->Attribute(attribute);
    if (!value) ZV_FATAL("Missing attribute %s of %s", attribute, element_name);
    return value;
}

int read_int(TiXmlElement* element, const char* name) {
    int value = -1;
    sscanf(text_of(element, name), "%i", &value);
    return value;
}

float read_float(TiXmlElement* element, const char* name, float initial) {
    float value = initial;
    sscanf(text_of(element, name), "%f", &value);
    return value;
}

// "8", "8t" or "8T": the denominator and whether it is a triplet.
int read_denominator(TiXmlElement* element, const char* name, bool& triplet) {
    const char* text = text_of(element, name);
    int value = -1;
    char suffix[8] = {};
    sscanf(text, "%i%7s", &value, suffix);
    if (strlen(suffix) > 1) ZV_FATAL("Unrecognized denominator: %s", text);
    triplet = suffix[0] == 't' || suffix[0] == 'T';
    return value;
}

int slope_of(TiXmlElement* element, const char* name) {
    const char* slope = attribute_of(element, "slope", name);
    if (strcmp(slope, "linear") == 0) return SLOPE_LINEAR;
    if (strcmp(slope, "exp") == 0) return SLOPE_EXP;
    if (strcmp(slope, "exp_inv") == 0) return SLOPE_EXP_INV;
    ZV_FATAL("Unrecognized slope type: %s", slope);
}

void check_unit(TiXmlElement* element, const char* name, const char* wanted) {
    const char* unit = attribute_of(element, "unit", name);
    if (strcmp(unit, wanted) != 0) ZV_FATAL("Unrecognized unit type: %s", unit);
}

std::unique_ptr<Modulator> read_lfo(TiXmlElement* lfo_element, const std::string& directory) {
    TiXmlElement* wave_element =
        require(lfo_element->FirstChildElement("wave"), "lfo_element->FirstChildElement( \"wave\" )");
    const char* wave_text = text_of(wave_element, "wave");
    int wave;
    if (strcmp(wave_text, "sine") == 0) wave = WAVE_SINE;
    else if (strcmp(wave_text, "saw") == 0) wave = WAVE_SAW;
    else ZV_FATAL("Unrecognized LFO wave type: %s", wave_text);

    TiXmlElement* tempo_element = require(lfo_element->FirstChildElement("tempo"), "tempo_element");
    int numerator = read_int(require(tempo_element->FirstChildElement("numerator"),
                                     "tempo_element->FirstChildElement( \"numerator\" )"),
                             "numerator");
    bool triplet = false;
    int denominator = read_denominator(require(tempo_element->FirstChildElement("denominator"),
                                               "tempo_element->FirstChildElement( \"denominator\" )"),
                                       "denominator", triplet);
    TiXmlElement* controller = require(tempo_element->FirstChildElement("controller"),
                                       "tempo_element->FirstChildElement( \"controller\" )");
    int cc = read_int(require(controller->FirstChildElement("cc"),
                              "tempo_element->FirstChildElement( \"controller\" )->FirstChildElement( \"cc\" )"),
                      "cc");
    TiXmlElement* template_element =
        require(controller->FirstChildElement("template"),
                "tempo_element->FirstChildElement( \"controller\" )->FirstChildElement( \"template\" )");
    auto lfo = std::make_unique<LFO>(wave, cc, numerator, denominator, triplet);
    read_controller_template((directory + attribute_of(template_element, "file", "template")).c_str(), *lfo);
    return lfo;
}

std::unique_ptr<Modulator> read_envelope(TiXmlElement* env_element, float bpm) {
    struct Phase {
        const char* name;
        const char* null_name;
        float value;
        int slope;
    } phases[4] = {
        {"attack", "env_element->FirstChildElement( \"attack\" )", 1.0f, 0},
        {"decay", "env_element->FirstChildElement( \"decay\" )", 1.0f, 0},
        {"sustain", "env_element->FirstChildElement( \"sustain\" )", 1.0f, 0},
        {"release", "env_element->FirstChildElement( \"release\" )", 1.0f, 0},
    };
    for (auto& phase : phases) {
        TiXmlElement* element = require(env_element->FirstChildElement(phase.name), phase.null_name);
        bool is_sustain = strcmp(phase.name, "sustain") == 0;
        check_unit(element, phase.name, is_sustain ? "percent" : "s");
        if (!is_sustain) phase.slope = slope_of(element, phase.name);
        float value = read_float(element, phase.name, 1.0f);
        // Seconds become beats at the score's tempo; the sustain level is a percentage.
        phase.value = is_sustain ? value / 100.0f : value / 60.0f * bpm;
    }
    return std::make_unique<ADSR>(phases[0].value, phases[0].slope, phases[1].value, phases[1].slope,
                                  phases[2].value, phases[3].value, phases[3].slope);
}

std::unique_ptr<Modulator> read_arp(TiXmlElement* arp_element) {
    TiXmlElement* pattern_element =
        require(arp_element->FirstChildElement("pattern"), "arp_element->FirstChildElement( \"pattern\" )");
    const char* pattern_text = text_of(pattern_element, "pattern");
    int pattern;
    if (strcmp(pattern_text, "updown") == 0) pattern = ARP_UPDOWN;
    else if (strcmp(pattern_text, "up") == 0) pattern = ARP_UP;
    else if (strcmp(pattern_text, "down") == 0) pattern = ARP_DOWN;
    else ZV_FATAL("Unrecognized arp pattern: %s", pattern_text);
    int octaves = read_int(require(arp_element->FirstChildElement("octaves"),
                                   "arp_element->FirstChildElement( \"octaves\" )"),
                           "octaves");
    int numerator = read_int(require(arp_element->FirstChildElement("numerator"),
                                     "arp_element->FirstChildElement( \"numerator\" )"),
                             "numerator");
    bool triplet = false;
    int denominator = read_denominator(require(arp_element->FirstChildElement("denominator"),
                                               "arp_element->FirstChildElement( \"denominator\" )"),
                                       "denominator", triplet);
    return std::make_unique<Arp>(pattern, octaves, numerator, denominator, triplet);
}

}  // namespace

void read_controller_template(const char* path, Modulator& modulator) {
    TiXmlDocument document;
    load_document(document, path);
    TiXmlElement* element = root_of(document, "unit", path);
    TiXmlElement* template_element =
        require(element->FirstChildElement("template"), "element->FirstChildElement( \"template\" )");
    TiXmlElement* cur_el = require(template_element->FirstChildElement("range"),
                                   "element->FirstChildElement( \"template\" )->FirstChildElement( \"range\" )");
    for (; cur_el; cur_el = cur_el->NextSiblingElement("range")) {
        int minimum = read_int(require(cur_el->FirstChildElement("min"), "cur_el->FirstChildElement( \"min\" )"), "min");
        int maximum = read_int(require(cur_el->FirstChildElement("max"), "cur_el->FirstChildElement( \"max\" )"), "max");
        TiXmlElement* value = require(cur_el->FirstChildElement("value"), "cur_el->FirstChildElement( \"value\" )");
        int numerator = read_int(require(value->FirstChildElement("numerator"),
                                         "cur_el->FirstChildElement( \"value\" )->FirstChildElement( \"numerator\" )"),
                                 "numerator");
        bool triplet = false;
        int denominator =
            read_denominator(require(value->FirstChildElement("denominator"),
                                     "cur_el->FirstChildElement( \"value\" )->FirstChildElement( \"denominator\" )"),
                             "denominator", triplet);
        modulator.add_tempo_range(static_cast<uint8_t>(minimum), static_cast<uint8_t>(maximum), numerator,
                                  denominator, triplet);
    }
}

std::unique_ptr<MidiFile> read_music_description(const char* path, float& bpm, LoadStreamFn load_stream,
                                                 void* data) {
    TiXmlDocument document;
    load_document(document, path);
    std::string p = path;
    std::string directory = p.substr(0, p.find_last_of('/') + 1);
    TiXmlElement* element = root_of(document, "modulators", path);

    std::string stream = directory + attribute_of(element, "stream_filename", "modulators");
    if (load_stream) load_stream(data, stream.c_str());
    std::string midi_path = directory + attribute_of(element, "mididata_filename", "modulators");
    std::unique_ptr<MidiFile> midi = MidiFile::load(midi_path.c_str());
    if (!midi) ZV_FATAL("Failed to load %s", midi_path.c_str());
    bpm = midi->tempo;

    for (TiXmlElement* child = element->FirstChildElement(); child; child = child->NextSiblingElement()) {
        const char* association = attribute_of(child, "association", child->Value());
        MidiTrack* track = nullptr;
        for (auto& t : midi->tracks)
            if (!track && t.has_name && t.name == association) track = &t;
        // Only tracks with notes are kept: a modulator for any other could never sound.
        if (!track) ZV_FATAL("No MIDI track named %s for the modulator in %s", association, path);

        std::unique_ptr<Modulator> modulator;
        if (TiXmlElement* lfo = child->FirstChildElement("lfo")) modulator = read_lfo(lfo, directory);
        else if (TiXmlElement* env = child->FirstChildElement("envelope")) modulator = read_envelope(env, bpm);
        else if (TiXmlElement* arp = child->FirstChildElement("arp")) modulator = read_arp(arp);
        if (modulator) track->modulators.push_back(std::move(modulator));

        if (TiXmlElement* intensity = child->FirstChildElement("intensity")) {
            const char* unit = attribute_of(intensity, "unit", "intensity");
            if (strcmp(unit, "float") != 0) ZV_FATAL("Unexpected intensity unit: %s", unit);
            float value = 0.0f;
            if (const char* text = intensity->GetText()) sscanf(text, "%f", &value);
            // Without a modulator of its own, the intensity is for the track's previous one.
            if (track->modulators.empty())
                ZV_FATAL("No modulator for the intensity of track %s in %s", association, path);
            track->modulators.back()->intensity = value;
        }
    }
    return midi;
}
