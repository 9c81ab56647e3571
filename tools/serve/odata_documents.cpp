// The service's OData documents (odata_documents.hpp): exports serviceDocument,
// addMetadataTypes, metadataDocument and jsonSchemaUri.
#include "serve/odata_documents.hpp"

#include <map>
#include <set>

namespace {

const char kDmtfSchemas[] = "http://redfish.dmtf.org/schemas/v1/";
const char kODataCore[] =
    "http://docs.oasis-open.org/odata/odata/v4.0/errata03/csd01/complete/vocabularies/"
    "Org.OData.Core.V1.xml";

// The namespace of an "@odata.type" ("#Chassis.v1_14_0.Chassis" -> "Chassis.v1_14_0"), or ""
// when the text is not of that form (letters, digits, '_' and '.' only, so it is safe in XML).
std::string namespaceOf(const std::string& odataType) {
    if (odataType.size() < 2 || odataType[0] != '#') return "";
    for (std::size_t i = 1; i < odataType.size(); ++i) {
        const char c = odataType[i];
        const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '.';
        if (!word) return "";
    }
    const std::string::size_type dot = odataType.rfind('.');
    return dot == std::string::npos || dot < 2 ? "" : odataType.substr(1, dot - 1);
}

// Adds the namespaces of every "@odata.type" at or below value to byFile, keyed by the DMTF
// CSDL file that defines them ("Chassis_v1.xml": "Chassis", "Chassis.v1_14_0"). What an "Oem"
// member holds is the vendor's, not DMTF's, so is left out.
void collectNamespaces(const Json::Value& value,
                       std::map<std::string, std::set<std::string>>& byFile) {
    if (value.isArray()) {
        for (const Json::Value& element : value)
            collectNamespaces(element, byFile);
    }
    if (!value.isObject()) return;
    for (auto member = value.begin(); member != value.end(); ++member) {
        if (member.name() != "Oem") collectNamespaces(*member, byFile);
    }
    if (!value["@odata.type"].isString()) return;
    const std::string name = namespaceOf(value["@odata.type"].asString());
    if (name.empty()) return;
    const std::string base = name.substr(0, name.find('.'));
    std::set<std::string>& includes = byFile[base + "_v1.xml"];
    includes.insert(base);
    includes.insert(name);
}

} // namespace

Json::Value serviceDocument(const Json::Value& serviceRoot) {
    Json::Value document(Json::objectValue);
    document["@odata.context"] = "/redfish/v1/$metadata";
    Json::Value& entries = document["value"] = Json::Value(Json::arrayValue);
    Json::Value service(Json::objectValue);
    service["name"] = "Service";
    service["kind"] = "Singleton";
    service["url"] = "/redfish/v1/";
    entries.append(service);
    for (auto member = serviceRoot.begin(); member != serviceRoot.end(); ++member) {
        if (!member->isObject() || !(*member)["@odata.id"].isString()) continue;
        Json::Value entry(Json::objectValue);
        entry["name"] = member.name();
        entry["kind"] = "Singleton";
        entry["url"] = (*member)["@odata.id"];
        entries.append(entry);
    }
    return document;
}

void addMetadataTypes(const std::string& uri, const Json::Value& resource, MetadataTypes& types) {
    collectNamespaces(resource, types.byFile);
    if (uri != "/redfish/v1" || !resource.isObject()) return;
    const Json::Value& type = resource["@odata.type"];
    types.serviceRoot = type.isString() ? namespaceOf(type.asString()) : "";
}

std::string metadataDocument(const MetadataTypes& types) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<edmx:Edmx xmlns:edmx=\"http://docs.oasis-open.org/odata/ns/edmx\" "
                      "Version=\"4.0\">\n";
    xml += "  <edmx:Reference Uri=\"" + std::string(kODataCore) +
           "\">\n"
           "    <edmx:Include Namespace=\"Org.OData.Core.V1\" Alias=\"OData\"/>\n"
           "  </edmx:Reference>\n";
    for (const auto& file : types.byFile) {
        xml += "  <edmx:Reference Uri=\"" + std::string(kDmtfSchemas) + file.first + "\">\n";
        for (const std::string& name : file.second)
            xml += "    <edmx:Include Namespace=\"" + name + "\"/>\n";
        xml += "  </edmx:Reference>\n";
    }
    xml += "  <edmx:DataServices>\n"
           "    <Schema xmlns=\"http://docs.oasis-open.org/odata/ns/edm\" Namespace=\"Service\">\n";
    if (!types.serviceRoot.empty()) {
        xml += "      <EntityContainer Name=\"Service\" Extends=\"" + types.serviceRoot +
               ".ServiceContainer\"/>\n";
    }
    xml += "    </Schema>\n  </edmx:DataServices>\n</edmx:Edmx>\n";
    return xml;
}

std::string jsonSchemaUri(const Json::Value& resource) {
    if (!resource.isObject()) return "";
    const char kType[] = "@odata.type";
    const Json::Value* type = resource.find(kType, kType + sizeof kType - 1);
    const std::string name =
        type != nullptr && type->isString() ? namespaceOf(type->asString()) : "";
    return name.empty() ? "" : kDmtfSchemas + name + ".json";
}
