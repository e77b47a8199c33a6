// The DATA_BLOCK element: a recorded series of latency (and loss) samples with the
// details of the recording. The samples stay out of the DOM: Parse cuts the sample
// text out and reads it into two arrays, GetXML writes them back into the text.
#pragma once

#include "Fendrel/STopovelBaseParser.h"

#include <string>
#include <vector>

// The kind of sample AddSample reads; any value other than 0 counts as loss.
enum eSampleType {
    SAMPLE_LATENCY = 0,
    SAMPLE_LOSS = 1,
};

// The attributes of RECORDING_DETAILS, each member named as its attribute.
struct _RECORDING_DETAILS {
    SHString SAMPLE_INTERVAL;
    SHString RECORDING_NAME;
    SHString RECORDING_HOST;
    SHString SOURCE_IP;
    SHString DESTINATION_IP;
    SHString PACKET_LEN;
    SHString ORIGIN;
    SHString ORIGIN_VERSION;
    SHString CREATE_DATE;
    SHString IMPORTED_INTERVAL_START_TIME;
    SHString IMPORTED_INTERVAL_LENGTH;
    SHString DESCRIPTION;
};

class CSDataBlockParser : public CSTopovelBaseParser {
public:
    CSDataBlockParser();
    CSDataBlockParser(const char* dtdFileName, const char* version);
    CSDataBlockParser(const CSDataBlockParser& other);
    CSDataBlockParser& operator=(const CSDataBlockParser& other);
    ~CSDataBlockParser() override;

    NX_RC CreateNew(const char* id, const char* name) override;
    // NAME of the DATA_BLOCK element.
    NX_RC SetName(const char* name) override;
    NX_RC GetName(SHString& name) override;
    // A failed parse leaves no document and no samples.
    NX_RC Parse(const char* xml, bool validate) override;
    // Fails when samples exist that cannot be written (unequal latency and loss counts).
    NX_RC GetXML(SHString& xml) override;
    // With a sample interval, LATENCY_AND_LOSS_DATA is created with it.
    virtual NX_RC CreateNew(const char* id, const char* name, const char* sampleInterval);

    NX_RC GetSamplesInterval(SHString& interval);
    NX_RC SetSampleInterval(const char* interval);
    // IMPORTED_INTERVAL_LENGTH of the recording details as a number (0 when it is none).
    NX_RC GetSampleIntervalLength(unsigned int& length);
    // The number of latency samples.
    NX_RC GetSamplesCount(unsigned int& count);
    NX_RC GetSampleLatency(unsigned int index, SHString& value);
    NX_RC GetSampleLoss(unsigned int index, SHString& value);
    // Copy the first min(size, count) samples; a null array is refused unless size is 0.
    NX_RC GetSampleLatencyArray(unsigned int size, int* const out);
    NX_RC GetSampleLossArray(unsigned int size, float* const out);
    // Appends one sample read from the text (0 when it is not a number).
    NX_RC AddSample(const char* text, eSampleType type);
    NX_RC AddSamples(unsigned int latency, float loss);
    NX_RC GetRecordingDetails(_RECORDING_DETAILS& details);
    // Creates RECORDING_DETAILS as the root's first child when it is missing.
    NX_RC SetRecordingDetails(const _RECORDING_DETAILS& details);
    const void* GetDataBlocDoc();

protected:
    void ClearBuffers();
    // Builds the text with the sample text cut out (`forParse`, reading the samples) or
    // written back (otherwise) into a malloc buffer the caller frees; its length, or -1.
    int InitRawRecordedData(const char* text, char** out, bool forParse);
    // Reads the sample text into the arrays; on failure both are emptied.
    bool ParseRecordedDataXML(const char* text, size_t length);
    // Writes the samples; fails on unequal latency and loss counts.
    bool PrintRecDataToXML(std::string& out);
    // Appends bytes to a malloc buffer kept zero-terminated.
    static bool AddToBuffer(char** buffer, long& length, const char* data, long size);
    // Whether the sample text carries loss: the element after the first latency sample.
    static bool bIsLossGraphExist(const char* text);
    bool bAddLatSample(const char** cursor);
    bool bAddLosSample(const char** cursor);

private:
    std::vector<int> m_vLatency;
    std::vector<float> m_vLoss;
};
