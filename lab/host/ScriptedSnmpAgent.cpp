// Stands in for the SNMP service's agent when a profile scripts it: a small SNMPv1 responder on the loopback.
#include "lab/host/ScriptedSnmpAgent.h"

#include "lab/host/Clock.h"
#include "lab/host/SnmpdText.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <set>
#include <sstream>
#include <sys/select.h>
#include <sys/socket.h>
#include <vector>

namespace lab::host {

namespace {

using Name = std::vector<oid>;

struct Object {
    u_char type = ASN_OCTET_STR;
    std::string text;
    long number = 0;
};

// What snmpd would serve from the same configuration.
struct Mib {
    std::map<Name, Object> objects;
    std::set<std::string> communities;
};

Name ParseName(const std::string& text)
{
    Name name;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, '.'))
        if (!part.empty())
            name.push_back(std::strtoul(part.c_str(), nullptr, 10));
    return name;
}

u_char OverrideType(const std::string& type)
{
    if (type == "integer")
        return ASN_INTEGER;
    if (type == "uinteger" || type == "unsigned")
        return ASN_GAUGE;
    if (type == "counter")
        return ASN_COUNTER;
    if (type == "null")
        return ASN_NULL;
    return ASN_OCTET_STR;
}

Mib ParseConfig(const std::string& config)
{
    Mib mib;
    std::istringstream in(config);
    std::string line;
    while (std::getline(in, line)) {
        size_t pos = 0;
        std::string directive = ReadSnmpdWord(line, pos);
        if (directive == "rocommunity" || directive == "rwcommunity") {
            std::string community = ReadSnmpdCommunity(line, pos);
            std::string source = ReadSnmpdWord(line, pos);
            if (source == "default" || source == "127.0.0.1")
                mib.communities.insert(community);
        } else if (directive == "override") {
            std::string name = ReadSnmpdWord(line, pos);
            std::string type = ReadSnmpdWord(line, pos);
            Object& object = mib.objects[ParseName(name)];
            object.type = OverrideType(type);
            object.text = object.type == ASN_OCTET_STR ? ReadSnmpdOctets(line.substr(pos)) : ReadSnmpdWord(line, pos);
            object.number = std::strtol(object.text.c_str(), nullptr, 10);
        }
    }
    return mib;
}

Object Served(const Object& object, const std::string& wrongTypes)
{
    Object served = object;
    if (wrongTypes == "null") {
        served.type = ASN_NULL;
    } else if (wrongTypes == "yes") {
        if (object.type == ASN_OCTET_STR) {
            served.type = object.text.empty() ? ASN_NULL : ASN_INTEGER;
            served.number = static_cast<long>(object.text.size());
        } else if (object.type != ASN_NULL) {
            served.type = ASN_OCTET_STR;
            served.text = std::to_string(object.number);
        }
    }
    return served;
}

void SetValue(netsnmp_variable_list* pVariable, const Name& name, const Object& object)
{
    snmp_set_var_objid(pVariable, name.data(), name.size());
    if (object.type == ASN_INTEGER) {
        snmp_set_var_typed_value(pVariable, ASN_INTEGER, &object.number, sizeof object.number);
    } else if (object.type == ASN_GAUGE || object.type == ASN_COUNTER) {
        u_long number = static_cast<u_long>(object.number);
        snmp_set_var_typed_value(pVariable, object.type, &number, sizeof number);
    } else if (object.type == ASN_NULL) {
        snmp_set_var_typed_value(pVariable, ASN_NULL, nullptr, 0);
    } else {
        snmp_set_var_typed_value(pVariable, ASN_OCTET_STR, object.text.data(), object.text.size());
    }
}

struct Server {
    Mib mib;
    SnmpScript script;
    std::vector<netsnmp_pdu*> answers;
};

// SNMPv1: an error answer carries the request's bindings, with the failing one's place.
netsnmp_pdu* Answer(const Server& server, netsnmp_pdu* pRequest)
{
    netsnmp_pdu* pAnswer = snmp_clone_pdu(pRequest);
    if (!pAnswer)
        return nullptr;
    pAnswer->command = SNMP_MSG_RESPONSE;
    pAnswer->errstat = SNMP_ERR_NOERROR;
    pAnswer->errindex = 0;
    long index = 1;
    for (netsnmp_variable_list* p = pAnswer->variables; p; p = p->next_variable, ++index) {
        Name asked(p->name, p->name + p->name_length);
        const auto& objects = server.mib.objects;
        auto found = pRequest->command == SNMP_MSG_GET ? objects.find(asked) : objects.upper_bound(asked);
        if (pRequest->command == SNMP_MSG_SET || found == objects.end()) {
            snmp_free_pdu(pAnswer);
            pAnswer = snmp_clone_pdu(pRequest);
            if (pAnswer) {
                pAnswer->command = SNMP_MSG_RESPONSE;
                pAnswer->errstat = SNMP_ERR_NOSUCHNAME;
                pAnswer->errindex = index;
            }
            return pAnswer;
        }
        const Name& answered = server.script.bNotAdvancing ? asked : found->first;
        SetValue(p, answered, Served(found->second, server.script.wrongTypes));
    }
    return pAnswer;
}

int Received(int op, netsnmp_session*, int, netsnmp_pdu* pPdu, void* pMagic)
{
    auto* pServer = static_cast<Server*>(pMagic);
    if (op != NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE || pPdu->version != SNMP_VERSION_1)
        return 1;
    std::string community(reinterpret_cast<const char*>(pPdu->community), pPdu->community_len);
    bool bRequest = pPdu->command == SNMP_MSG_GET || pPdu->command == SNMP_MSG_GETNEXT || pPdu->command == SNMP_MSG_SET;
    if (bRequest && pServer->mib.communities.count(community))
        if (netsnmp_pdu* pAnswer = Answer(*pServer, pPdu))
            pServer->answers.push_back(pAnswer);
    return 1;
}

}  // namespace

ScriptedSnmpAgent::~ScriptedSnmpAgent()
{
    Stop();
}

uint16_t ScriptedSnmpAgent::Start(const std::string& config, const SnmpScript& script, Clock& clock)
{
    Stop();
    netsnmp_transport* pTransport = netsnmp_transport_open_server("triagist-lab", "udp:127.0.0.1:0");
    if (!pTransport) {
        std::fprintf(stderr, "lab: the scripted SNMP agent could not open a port of 127.0.0.1\n");
        return 0;
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(pTransport->sock, reinterpret_cast<sockaddr*>(&address), &length);
    auto pServer = std::make_shared<Server>();
    pServer->mib = ParseConfig(config);
    pServer->script = script;
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = SNMP_VERSION_1;
    settings.callback = Received;
    settings.callback_magic = pServer.get();
    void* pSession = snmp_sess_add(&settings, pTransport, nullptr, nullptr);
    if (!pSession) {
        std::fprintf(stderr, "lab: the scripted SNMP agent could not open a session\n");
        return 0;
    }
    m_bStop = false;
    m_thread = std::thread([this, pServer, pSession, &clock] {
        while (!m_bStop) {
            int fds = 0, block = 0;
            fd_set readable;
            FD_ZERO(&readable);
            timeval timeout{0, 20000};
            snmp_sess_select_info(pSession, &fds, &readable, &timeout, &block);
            timeval poll{0, 20000};
            if (select(fds, &readable, nullptr, nullptr, &poll) <= 0)
                continue;
            snmp_sess_read(pSession, &readable);
            for (netsnmp_pdu* pAnswer : pServer->answers) {
                if (m_bSilent || m_bStop) {
                    snmp_free_pdu(pAnswer);
                    continue;
                }
                // On the virtual clock the wait is the lab's: it moves the clock instead of taking time.
                if (clock.IsVirtual())
                    clock.Advance(pServer->script.delayMs);
                else if (pServer->script.delayMs)
                    std::this_thread::sleep_for(std::chrono::milliseconds(pServer->script.delayMs));
                if (!snmp_sess_send(pSession, pAnswer))
                    snmp_free_pdu(pAnswer);
            }
            pServer->answers.clear();
        }
        snmp_sess_close(pSession);
    });
    return ntohs(address.sin_port);
}

void ScriptedSnmpAgent::Stop()
{
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}

}  // namespace lab::host
