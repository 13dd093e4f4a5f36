#!/usr/bin/env python3
"""The administrative template (Tarnwick.admx and en-US/Tarnwick.adml),
parsed as XML: every string and presentation that the ADMX refers to exists
in the ADML, every presentation's parts refer to elements of its policy, and
the policy writes exactly the key and the form of value that the agent reads
(agent/client_policy.h): one REG_SZ value per client, named by the
administrator, under HKEY_LOCAL_MACHINE.

usage: policy_templates_test.py ADMX ADML CLIENT_POLICY_HEADER
"""
import re
import sys
import xml.etree.ElementTree as ET

ADMX, ADML, HEADER = sys.argv[1:4]
NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
REFERENCE = re.compile(r"^\$\((string|presentation)\.([A-Za-z0-9_]+)\)$")


def expect(condition, message):
    if not condition:
        sys.exit("FAILED: " + message)


def agent_key():
    text = open(HEADER, encoding="utf-8").read()
    match = re.search(r'kClientPolicyKeyPath\s*=\s*L"((?:[^"\\]|\\.)*)"', text)
    expect(match is not None, "kClientPolicyKeyPath not found in " + HEADER)
    return match.group(1).encode().decode("unicode_escape")


def main():
    admx = ET.parse(ADMX).getroot()
    adml = ET.parse(ADML).getroot()
    expect(admx.tag == "{%s}policyDefinitions" % NS["p"], "the ADMX is not a policyDefinitions document")
    expect(adml.tag == "{%s}policyDefinitionResources" % NS["p"], "the ADML is not a policyDefinitionResources document")

    strings = {s.get("id") for s in adml.iterfind(".//p:stringTable/p:string", NS)}
    presentations = {p.get("id"): p for p in adml.iterfind(".//p:presentationTable/p:presentation", NS)}

    # Every reference of the ADMX resolves in the ADML.
    references = 0
    for element in admx.iter():
        for name, value in element.attrib.items():
            match = REFERENCE.match(value)
            if not match:
                expect("$(" not in value, f"{name}={value!r}: not a reference the ADML can resolve")
                continue
            references += 1
            kind, identifier = match.groups()
            table = strings if kind == "string" else presentations
            expect(identifier in table, f"{name}={value!r} has no {kind} in the ADML")
    expect(references >= 5, f"only {references} references in the ADMX")

    # Categories and supportedOn refer to what the ADMX defines.
    categories = {c.get("name") for c in admx.iterfind(".//p:categories/p:category", NS)}
    supported = {d.get("name") for d in admx.iterfind(".//p:supportedOn/p:definitions/p:definition", NS)}
    policies = admx.findall(".//p:policies/p:policy", NS)
    expect(len(policies) == 1, f"{len(policies)} policies, one expected")
    policy = policies[0]
    expect(policy.find("p:parentCategory", NS).get("ref") in categories, "the policy's category is not defined")
    expect(policy.find("p:supportedOn", NS).get("ref") in supported, "the policy's supportedOn is not defined")
    expect(admx.find(".//p:policyNamespaces/p:using", NS) is None,
           "the template uses another template, which Intune and a central store would need as well")

    # The policy: a machine policy whose one list writes named REG_SZ values
    # into the key the agent reads.
    key = agent_key()
    expect(policy.get("class") == "Machine", "the policy is not a machine policy (HKEY_LOCAL_MACHINE)")
    expect(strings and policy.get("displayName") == "$(string.AdditionalClients)", "the policy's name")
    name_text = adml.find(".//p:stringTable/p:string[@id='AdditionalClients']", NS).text
    expect(name_text == "Additional remote-desktop clients", f"the policy is called {name_text!r}")
    expect(policy.get("key") == key, f"policy key {policy.get('key')!r}, the agent reads {key!r}")
    expect(key.startswith("SOFTWARE\\Policies\\") and not key.startswith("SOFTWARE\\Policies\\Microsoft"),
           "Intune takes custom templates only for keys under SOFTWARE\\Policies of another vendor")
    elements = list(policy.find("p:elements", NS))
    expect(len(elements) == 1 and elements[0].tag == "{%s}list" % NS["p"], "the policy has one element, a list")
    lst = elements[0]
    expect(lst.get("key") == key, f"list key {lst.get('key')!r}, the agent reads {key!r}")
    expect(lst.get("explicitValue") == "true", "the list does not take value names (explicitValue)")
    expect(lst.get("valuePrefix") is None, "the list numbers its value names (valuePrefix)")
    expect(lst.get("expandable") in (None, "false"), "the list writes REG_EXPAND_SZ, the agent reads REG_SZ")
    expect(policy.get("valueName") is None, "the policy writes a value of its own into the clients' key")

    # The presentation shows the list, and only elements of the policy.
    presentation = presentations[REFERENCE.match(policy.get("presentation")).group(2)]
    parts = list(presentation)
    expect([p.tag for p in parts] == ["{%s}listBox" % NS["p"]], "the presentation is one list box")
    expect(parts[0].get("refId") == lst.get("id"), "the list box refers to another element than the list")

    # The explanation shows the form the agent reads, with the example.
    help_text = adml.find(".//p:stringTable/p:string[@id='AdditionalClients_Help']", NS).text
    for needed in ("like=NAME", ";class=CLASS", ";text=TEXT", "msrdc.exe", "like=mstsc.exe", "TarnwickCtl windows"):
        expect(needed in help_text, f"the explanation does not show {needed!r}")
    print("Tarnwick.admx and en-US/Tarnwick.adml: every reference resolves; the policy writes " + key)


if __name__ == "__main__":
    main()
