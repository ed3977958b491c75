<?xml version="1.0" encoding="ISO-8859-1"?>
<!--
  Turns a Triagist diagnosis report into the page a support engineer reads
  first: findings at the top, then every section of the report.

  Plain XSLT 1.0 without extensions, because it runs under libxslt, MSXML
  (also Wine's msxml3) and, when the report is opened directly, inside the
  web browser control. The CSS stays within what that control renders.
  Reports of cancelled runs lack whole sections; every template therefore
  tests for its data and prints a short note instead of an empty table.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

<xsl:output method="html" encoding="ISO-8859-1" indent="no"
  doctype-public="-//W3C//DTD HTML 4.01//EN"
  doctype-system="http://www.w3.org/TR/html4/strict.dtd"/>

<xsl:variable name="uc" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"/>
<xsl:variable name="lc" select="'abcdefghijklmnopqrstuvwxyz'"/>
<!-- Significant blanks come from string literals: some DOM loaders (MSXML
     with preserveWhiteSpace off, Wine's msxml3) drop blank-only text nodes,
     even inside xsl:text. -->
<xsl:variable name="sp" select="' '"/>

<!-- Categories of all kinds, grouped by name (Created is not a kind). -->
<xsl:key name="category" match="Summary/*[not(self::Created)]/*" use="name()"/>

<!-- The help's texts, for the advice beside each finding: the file beside
     this stylesheet. A processor that resolves relative names against no base
     (MSXML under Wine) is given its absolute URL. -->
<xsl:param name="help-file" select="'Findings.xml'"/>
<xsl:variable name="help" select="document($help-file)/Help"/>

<!-- ===================================================================== -->
<!-- Page                                                                   -->
<!-- ===================================================================== -->

<xsl:template match="/">
  <xsl:choose>
    <xsl:when test="Root">
      <xsl:apply-templates select="Root"/>
    </xsl:when>
    <xsl:otherwise>
      <html>
        <head><title>Triagist</title></head>
        <body><p>This file is not a Triagist diagnosis report.</p></body>
      </html>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template match="Root">
  <xsl:variable name="computer">
    <xsl:choose>
      <xsl:when test="string(Summary/Created/Computer) != ''">
        <xsl:value-of select="Summary/Created/Computer"/>
      </xsl:when>
      <xsl:otherwise>Unknown computer</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <html>
    <head>
      <meta http-equiv="X-UA-Compatible" content="IE=edge"/>
      <title>
        <xsl:value-of select="concat('Triagist report &#8211; ', $computer)"/>
        <xsl:if test="Summary/Created/Date"><xsl:value-of select="concat(' &#8211; ', Summary/Created/Date)"/></xsl:if>
      </title>
      <style type="text/css">
body { margin: 0; background: #f2f4f7; color: #1e2a36; font: 12px/1.45 "Segoe UI", Tahoma, Arial, Helvetica, sans-serif; }
.page { padding: 0 22px 24px 22px; }
.head { background: #1d3557; color: #ffffff; padding: 14px 22px 12px 22px; margin: 0 -22px 14px -22px; }
.brand { font-size: 10.5px; letter-spacing: 1px; text-transform: uppercase; color: #a9bdd6; }
h1 { font-size: 22px; font-weight: 600; margin: 2px 0 1px 0; }
.meta { color: #d3dde9; }
.meta span { margin-right: 18px; }
h2 { font-size: 15px; font-weight: 600; color: #1d3557; border-bottom: 2px solid #1d3557; padding: 0 0 3px 0; margin: 24px 0 8px 0; }
h3 { font-size: 12.5px; font-weight: 600; color: #34495e; margin: 14px 0 5px 0; }
h3 .count, h2 .count { font-weight: normal; color: #6b7a8a; font-size: 11.5px; margin-left: 6px; }
a { color: #1d5fa8; text-decoration: none; }
a:hover { text-decoration: underline; }
table.t { border-collapse: collapse; width: 100%; background: #ffffff; margin: 0 0 6px 0; }
table.t th { background: #e3e8ef; color: #24313f; text-align: left; font-weight: 600; padding: 3px 7px; border: 1px solid #c8d1dc; white-space: nowrap; }
table.t td { padding: 3px 7px; border: 1px solid #dde3ea; vertical-align: top; }
table.t tr.alt td { background: #f7f9fb; }
table.t tr.group td { background: #eef2f7; font-weight: 600; color: #1d3557; border-top: 2px solid #c8d1dc; }
table.t tr.off td { color: #8a96a3; }
table.t td.n, table.t th.n { text-align: right; white-space: nowrap; }
table.t th.n { width: 1%; }
table.t td.nw { white-space: nowrap; }
table.t td.path { word-wrap: break-word; word-break: break-all; color: #4a5866; font-size: 11px; }
table.t td.msg { width: 100%; }
table.t td.msg .todo { margin-top: 3px; color: #4a5866; font-size: 11px; }
table.narrow { width: auto; min-width: 460px; }
table.kv { border-collapse: collapse; background: #ffffff; margin: 0 0 6px 0; }
table.kv th { text-align: left; font-weight: normal; color: #5a6876; background: #f3f6f9; padding: 3px 12px 3px 7px; border: 1px solid #dde3ea; white-space: nowrap; vertical-align: top; }
table.kv td { padding: 3px 7px; border: 1px solid #dde3ea; min-width: 150px; vertical-align: top; }
.cols { overflow: hidden; zoom: 1; }
.col { float: left; margin: 0 16px 6px 0; }
.col h3 { margin-top: 6px; }
.b { display: inline-block; padding: 0 6px; border: 1px solid; font-size: 11px; font-weight: 600; line-height: 16px; white-space: nowrap; border-radius: 3px; }
.ok { background: #e5f4e9; color: #176b31; border-color: #9fd1ad; }
.warn { background: #fff3d4; color: #7a5200; border-color: #efcd76; }
.err { background: #fde7e7; color: #a3161a; border-color: #efa3a6; }
.na { background: #edf0f3; color: #5b6774; border-color: #d2d8df; }
.dim { color: #8a96a3; }
.small { font-size: 11px; }
.mono { font-family: Consolas, "Lucida Console", "Courier New", monospace; font-size: 11px; }
.note { color: #5b6774; font-style: italic; margin: 2px 0 8px 0; }
.verdict { border: 1px solid; border-left-width: 6px; padding: 9px 14px; margin: 0 0 10px 0; font-size: 15px; font-weight: 600; }
.verdict .sub { font-size: 12px; font-weight: normal; margin-top: 2px; }
.incomplete { background: #fff8e6; border: 1px solid #efcd76; color: #5c4300; padding: 6px 12px; margin: 0 0 10px 0; }
.toc { margin: 14px 0 0 0; padding: 6px 10px; background: #ffffff; border: 1px solid #dde3ea; }
.toc a { margin-right: 14px; white-space: nowrap; }
.foot { margin-top: 26px; padding-top: 6px; border-top: 1px solid #c8d1dc; color: #8a96a3; font-size: 11px; }
@media print {
  body { background: #ffffff; font-size: 10px; }
  .page { padding: 0; }
  .head { background: #ffffff; color: #000000; margin: 0 0 10px 0; padding: 0 0 6px 0; border-bottom: 2px solid #000000; }
  .brand, .meta { color: #333333; }
  .toc { display: none; }
  h2 { page-break-after: avoid; }
  tr { page-break-inside: avoid; }
  table.t td, table.t th, .b, .verdict { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
}
      </style>
    </head>
    <body>
      <div class="page">
        <div class="head">
          <div class="brand">Quillmont Agents Diagnostics &#183; Triagist</div>
          <h1><xsl:value-of select="$computer"/></h1>
          <div class="meta">
            <xsl:if test="string(Summary/Created/Company) != '' and Summary/Created/Company != 'n/a'">
              <span><xsl:value-of select="Summary/Created/Company"/></span>
            </xsl:if>
            <xsl:if test="Summary/Created/Date">
              <span>Created <xsl:value-of select="Summary/Created/Date"/></span>
            </xsl:if>
            <span>Report format <xsl:value-of select="@Version"/></span>
          </div>
        </div>

        <xsl:call-template name="verdict"/>
        <xsl:call-template name="incomplete"/>
        <xsl:call-template name="findings"/>
        <xsl:call-template name="toc"/>

        <xsl:apply-templates select="System"/>
        <xsl:apply-templates select="System/SystemEventlog"/>
        <xsl:apply-templates select="OperatingSystem"/>
        <xsl:apply-templates select="Network"/>
        <xsl:apply-templates select="SNMP"/>
        <xsl:apply-templates select="SNMPAgents"/>
        <xsl:apply-templates select="Ravelin"/>

        <div class="foot">
          Triagist diagnosis report of <xsl:value-of select="$computer"/>
          <xsl:if test="Summary/Created/Date">, created <xsl:value-of select="Summary/Created/Date"/></xsl:if>.
          Report format <xsl:value-of select="@Version"/>.
        </div>
      </div>
    </body>
  </html>
</xsl:template>

<!-- ===================================================================== -->
<!-- Summary: verdict, completeness, findings, contents                     -->
<!-- ===================================================================== -->

<!-- AddMessage counts a kind as an error when its name is "errors" in any
     letter case and as a warning otherwise; the page follows the same rule. -->
<xsl:template name="verdict">
  <xsl:variable name="errors" select="count(Summary/*[not(self::Created)][translate(name(), $uc, $lc) = 'errors']/*/Message)"/>
  <xsl:variable name="warnings" select="count(Summary/*[not(self::Created)][translate(name(), $uc, $lc) != 'errors']/*/Message)"/>
  <!-- A cancelled run without findings has proven nothing: no green. -->
  <xsl:variable name="cls">
    <xsl:choose>
      <xsl:when test="$errors &gt; 0">err</xsl:when>
      <xsl:when test="$warnings &gt; 0">warn</xsl:when>
      <xsl:when test="not(Ravelin/Tests)">na</xsl:when>
      <xsl:otherwise>ok</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <div class="verdict {$cls}">
    <xsl:choose>
      <xsl:when test="$errors &gt; 0">Errors found</xsl:when>
      <xsl:when test="$warnings &gt; 0">Warnings found</xsl:when>
      <xsl:when test="not(Ravelin/Tests)">No errors or warnings in the checks that ran</xsl:when>
      <xsl:otherwise>No errors or warnings</xsl:otherwise>
    </xsl:choose>
    <div class="sub">
      <span id="error-count"><xsl:value-of select="$errors"/></span>
      <xsl:value-of select="$sp"/>
      <xsl:call-template name="plural">
        <xsl:with-param name="n" select="$errors"/>
        <xsl:with-param name="word" select="'error'"/>
      </xsl:call-template>
      <xsl:text>, </xsl:text>
      <span id="warning-count"><xsl:value-of select="$warnings"/></span>
      <xsl:value-of select="$sp"/>
      <xsl:call-template name="plural">
        <xsl:with-param name="n" select="$warnings"/>
        <xsl:with-param name="word" select="'warning'"/>
      </xsl:call-template>
    </div>
  </div>
</xsl:template>

<!-- The run stops at the first cancel or failing check and writes what it
     has; name the checks whose results are missing. Ravelin/Tests is written
     by the last check whenever it runs, so its presence means a full run. -->
<xsl:template name="incomplete">
  <xsl:if test="not(Ravelin/Tests)">
    <div class="incomplete" id="incomplete">
      <b>Incomplete report.</b> The diagnosis ended before all checks had run.
      No results from:
      <xsl:if test="not(System/BIOS or System/Processor or System/PCIDevices)"> system hardware;</xsl:if>
      <xsl:if test="not(System/SystemEventlog)"> system event log;</xsl:if>
      <xsl:if test="not(OperatingSystem)"> operating system;</xsl:if>
      <xsl:if test="not(Network)"> network;</xsl:if>
      <xsl:if test="not(SNMP)"> SNMP;</xsl:if>
      <xsl:if test="not(SNMPAgents)"> agent products;</xsl:if>
      <xsl:if test="not(Ravelin)"> base service installation;</xsl:if>
      base service function test.
    </div>
  </xsl:if>
</xsl:template>

<xsl:template name="findings">
  <xsl:variable name="cats" select="Summary/*[not(self::Created)]/*[generate-id() = generate-id(key('category', name())[1])]"/>
  <!-- Categories with errors first, each group in report order. -->
  <xsl:variable name="errcats" select="$cats[key('category', name())[translate(name(..), $uc, $lc) = 'errors']]"/>
  <xsl:if test="$cats">
    <table class="t" id="findings">
      <thead><tr><th>Severity</th><th class="msg">Finding</th></tr></thead>
      <tbody>
      <xsl:for-each select="$errcats">
        <xsl:call-template name="finding-group"/>
      </xsl:for-each>
      <xsl:for-each select="$cats[count(. | $errcats) != count($errcats)]">
        <xsl:call-template name="finding-group"/>
      </xsl:for-each>
      </tbody>
    </table>
  </xsl:if>
</xsl:template>

<!-- One category: its errors, then its warnings, from every kind element. -->
<xsl:template name="finding-group">
  <xsl:variable name="all" select="key('category', name())"/>
  <xsl:variable name="err" select="$all[translate(name(..), $uc, $lc) = 'errors']/Message"/>
  <xsl:variable name="wrn" select="$all[translate(name(..), $uc, $lc) != 'errors']/Message"/>
  <tr class="group">
    <td colspan="2">
      <xsl:value-of select="name()"/>
      <span class="dim small">
        <xsl:value-of select="' &#8211; '"/>
        <xsl:if test="$err">
          <xsl:value-of select="count($err)"/><xsl:value-of select="$sp"/>
          <xsl:call-template name="plural">
            <xsl:with-param name="n" select="count($err)"/>
            <xsl:with-param name="word" select="'error'"/>
          </xsl:call-template>
          <xsl:if test="$wrn">, </xsl:if>
        </xsl:if>
        <xsl:if test="$wrn">
          <xsl:value-of select="count($wrn)"/><xsl:value-of select="$sp"/>
          <xsl:call-template name="plural">
            <xsl:with-param name="n" select="count($wrn)"/>
            <xsl:with-param name="word" select="'warning'"/>
          </xsl:call-template>
        </xsl:if>
      </span>
    </td>
  </tr>
  <xsl:for-each select="$err">
    <tr>
      <td class="nw"><span class="b err">ERROR</span></td>
      <td class="msg"><xsl:value-of select="."/><xsl:call-template name="what-to-do"/></td>
    </tr>
  </xsl:for-each>
  <xsl:for-each select="$wrn">
    <tr>
      <td class="nw"><span class="b warn">WARNING</span></td>
      <td class="msg"><xsl:value-of select="."/><xsl:call-template name="what-to-do"/></td>
    </tr>
  </xsl:for-each>
</xsl:template>

<!-- Beside a finding, what to do about it: the help's own text, read from
     Findings.xml beside this stylesheet, so the page and the help files say
     the same. A text with numbers in it is known by its fixed start or end.
     A finding the file does not know gets no advice. -->
<xsl:template name="what-to-do">
  <xsl:variable name="text" select="string(.)"/>
  <xsl:variable name="category" select="name(..)"/>
  <xsl:variable name="advice" select="$help/Finding[@category = $category]
      [@text = $text or (@start and starts-with($text, @start)) or
       (@end and string-length($text) &gt; string-length(@end) and
        substring($text, string-length($text) - string-length(@end) + 1) = @end)][1]"/>
  <xsl:if test="$advice">
    <div class="todo"><b>What to do:</b><xsl:value-of select="concat(' ', $advice/Action[@lang = '1033'])"/></div>
  </xsl:if>
</xsl:template>

<xsl:template name="toc">
  <xsl:if test="System | OperatingSystem | Network | SNMP | SNMPAgents | Ravelin">
    <div class="toc">
      <xsl:if test="System/BIOS | System/Processor | System/PCIDevices"><a href="#hardware">System hardware</a></xsl:if>
      <xsl:if test="System/PCIDevices"><a href="#pci">PCI devices</a></xsl:if>
      <xsl:if test="System/SystemEventlog"><a href="#sel">System event log</a></xsl:if>
      <xsl:if test="OperatingSystem"><a href="#os">Operating system</a></xsl:if>
      <xsl:if test="OperatingSystem/Processes"><a href="#processes">Processes</a></xsl:if>
      <xsl:if test="OperatingSystem/Eventlog"><a href="#eventlog">Windows event log</a></xsl:if>
      <xsl:if test="OperatingSystem/Software"><a href="#software">Installed software</a></xsl:if>
      <xsl:if test="Network"><a href="#network">Network</a></xsl:if>
      <xsl:if test="SNMP"><a href="#snmp">SNMP</a></xsl:if>
      <xsl:if test="SNMPAgents"><a href="#agents">Agents</a></xsl:if>
      <xsl:if test="Ravelin"><a href="#ravelin">Base service</a></xsl:if>
    </div>
  </xsl:if>
</xsl:template>

<!-- ===================================================================== -->
<!-- System hardware                                                        -->
<!-- ===================================================================== -->

<xsl:template match="Root/System">
  <xsl:if test="BIOS | Processor | PCIDevices">
    <h2 id="hardware">System hardware</h2>
    <xsl:variable name="sm" select="BIOS/SMBIOS"/>
    <div class="cols">
      <div class="col">
        <h3>BIOS</h3>
        <table class="kv">
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'Vendor'"/><xsl:with-param name="v" select="BIOS/Vendor"/></xsl:call-template>
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'Version'"/><xsl:with-param name="v" select="BIOS/Version"/></xsl:call-template>
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'Date'"/><xsl:with-param name="v" select="BIOS/Date"/></xsl:call-template>
          <tr><th>SMBIOS</th><td>
            <xsl:choose>
              <xsl:when test="not($sm)"><span class="b err">not readable</span></xsl:when>
              <xsl:when test="$sm/@Version = '255.255'"><span class="b warn">no entry point</span></xsl:when>
              <xsl:otherwise><xsl:value-of select="$sm/@Version"/></xsl:otherwise>
            </xsl:choose>
          </td></tr>
          <xsl:if test="$sm/Type188">
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'BIOS identifier'"/><xsl:with-param name="v" select="$sm/Type188/Identifier"/></xsl:call-template>
          </xsl:if>
          <xsl:if test="$sm/Type176">
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Board ID'"/><xsl:with-param name="v" select="$sm/Type176/BoardId"/></xsl:call-template>
          </xsl:if>
        </table>
      </div>
      <xsl:if test="$sm/Type1">
        <div class="col">
          <h3>System</h3>
          <table class="kv">
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Manufacturer'"/><xsl:with-param name="v" select="$sm/Type1/Vendor"/></xsl:call-template>
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Product'"/><xsl:with-param name="v" select="$sm/Type1/Name"/></xsl:call-template>
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Version'"/><xsl:with-param name="v" select="$sm/Type1/Version"/></xsl:call-template>
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Serial number'"/><xsl:with-param name="v" select="$sm/Type1/SerialNr"/></xsl:call-template>
            <tr><th>UUID</th><td class="mono"><xsl:value-of select="$sm/Type1/UUID"/></td></tr>
          </table>
        </div>
      </xsl:if>
      <xsl:if test="$sm/Type2">
        <div class="col">
          <h3>Base board</h3>
          <table class="kv">
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Manufacturer'"/><xsl:with-param name="v" select="$sm/Type2/Vendor"/></xsl:call-template>
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Product'"/><xsl:with-param name="v" select="$sm/Type2/Name"/></xsl:call-template>
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Version'"/><xsl:with-param name="v" select="$sm/Type2/Version"/></xsl:call-template>
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Serial number'"/><xsl:with-param name="v" select="$sm/Type2/SerialNr"/></xsl:call-template>
          </table>
        </div>
      </xsl:if>
      <xsl:if test="$sm/Type38">
        <div class="col">
          <h3>Management controller (IPMI)</h3>
          <table class="kv">
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Interface'"/><xsl:with-param name="v" select="$sm/Type38/Interface"/></xsl:call-template>
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'IPMI revision'"/><xsl:with-param name="v" select="$sm/Type38/Revision"/></xsl:call-template>
            <tr><th>Slave address</th><td>0x<xsl:value-of select="$sm/Type38/SlaveAddress"/></td></tr>
          </table>
        </div>
      </xsl:if>
    </div>
    <xsl:if test="not($sm) and BIOS">
      <p class="note">The SMBIOS tables could not be read (board driver not available); the BIOS version shown comes from the registry.</p>
    </xsl:if>

    <xsl:call-template name="processors"/>
    <xsl:apply-templates select="$sm/Type16 | $sm/Type17" mode="memory"/>
    <xsl:apply-templates select="$sm/Type190"/>
    <xsl:apply-templates select="PCIDevices"/>
    <xsl:apply-templates select="$sm/IRQRouting"/>
  </xsl:if>
</xsl:template>

<xsl:template name="processors">
  <xsl:variable name="t4" select="BIOS/SMBIOS/Type4/Entry"/>
  <xsl:choose>
    <xsl:when test="Processor/CPU">
      <h3>Processors<span class="count"><xsl:value-of select="count(Processor/CPU)"/></span></h3>
      <table class="t">
        <thead><tr><th>Socket</th><th>Status</th><th>Manufacturer</th><th>Model</th><th class="n">Family / model / stepping</th><th class="n">Cores (enabled) / threads</th><th class="n">Speed</th><th class="n">Max. speed</th></tr></thead>
        <tbody>
        <xsl:for-each select="Processor/CPU">
          <xsl:variable name="i" select="position()"/>
          <xsl:variable name="e" select="$t4[$i]"/>
          <tr>
            <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
            <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="SocketDesignation"/></xsl:call-template></td>
            <td class="nw"><xsl:call-template name="cpu-status"><xsl:with-param name="s" select="string($e/Status)"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Manufacture"/></xsl:call-template></td>
            <td>
              <xsl:choose>
                <xsl:when test="normalize-space(Model/BrandName) != ''"><xsl:value-of select="normalize-space(Model/BrandName)"/></xsl:when>
                <xsl:otherwise><xsl:call-template name="v"><xsl:with-param name="v" select="Model/Version"/></xsl:call-template></xsl:otherwise>
              </xsl:choose>
            </td>
            <td class="n"><xsl:if test="$e"><xsl:value-of select="concat($e/Family, ' / ', $e/Model, ' / ', $e/Step)"/></xsl:if></td>
            <td class="n"><xsl:call-template name="cpu-counts"><xsl:with-param name="e" select="$e"/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="mhz"><xsl:with-param name="v" select="Speed"/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="mhz"><xsl:with-param name="v" select="$e/MaxSpeed"/></xsl:call-template></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:when test="$t4">
      <h3>Processors<span class="count"><xsl:value-of select="count($t4)"/></span></h3>
      <table class="t">
        <thead><tr><th>Socket</th><th>Status</th><th>Manufacturer</th><th>Model</th><th class="n">Family / model / stepping</th><th class="n">Cores (enabled) / threads</th><th class="n">Speed</th><th class="n">Max. speed</th></tr></thead>
        <tbody>
        <xsl:for-each select="$t4">
          <tr>
            <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
            <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="Socket"/></xsl:call-template></td>
            <td class="nw"><xsl:call-template name="cpu-status"><xsl:with-param name="s" select="string(Status)"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Manufacture"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Version"/></xsl:call-template></td>
            <td class="n"><xsl:value-of select="concat(Family, ' / ', Model, ' / ', Step)"/></td>
            <td class="n"><xsl:call-template name="cpu-counts"><xsl:with-param name="e" select="."/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="mhz"><xsl:with-param name="v" select="CurrentSpeed"/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="mhz"><xsl:with-param name="v" select="MaxSpeed"/></xsl:call-template></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:when test="Processor">
      <h3>Processors</h3>
      <p class="note">No processor information available.</p>
    </xsl:when>
  </xsl:choose>
</xsl:template>

<!-- Firmware of the SMBIOS 2.5 era on counts cores and threads; 0 stands for unknown. -->
<xsl:template name="cpu-counts">
  <xsl:param name="e"/>
  <xsl:choose>
    <xsl:when test="$e/CoreCount &gt; 0">
      <xsl:value-of select="$e/CoreCount"/>
      <xsl:if test="$e/CoreEnabled &gt; 0 and $e/CoreEnabled != $e/CoreCount"> (<xsl:value-of select="$e/CoreEnabled"/>)</xsl:if>
      <xsl:if test="$e/ThreadCount &gt; 0"> / <xsl:value-of select="$e/ThreadCount"/></xsl:if>
    </xsl:when>
    <xsl:otherwise><span class="dim">&#8212;</span></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="cpu-status">
  <xsl:param name="s"/>
  <xsl:choose>
    <xsl:when test="$s = 'Enabled'"><span class="b ok">Enabled</span></xsl:when>
    <xsl:when test="$s = 'User disabled' or $s = 'BIOS disabled'"><span class="b warn"><xsl:value-of select="$s"/></span></xsl:when>
    <xsl:when test="$s = ''"><span class="dim">&#8212;</span></xsl:when>
    <xsl:otherwise><span class="b na"><xsl:value-of select="$s"/></span></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template match="Type16" mode="memory">
  <h3>Memory arrays<span class="count"><xsl:value-of select="count(Entry)"/></span></h3>
  <table class="t">
    <thead><tr><th>Location</th><th>Use</th><th>Error correction</th><th class="n">Max. capacity</th><th class="n">Slots</th><th class="n">Handle</th></tr></thead>
    <tbody>
    <xsl:for-each select="Entry">
      <tr>
        <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
        <td><xsl:call-template name="v"><xsl:with-param name="v" select="Location"/></xsl:call-template></td>
        <td><xsl:call-template name="v"><xsl:with-param name="v" select="Use"/></xsl:call-template></td>
        <td><xsl:call-template name="v"><xsl:with-param name="v" select="ErrorCorrection"/></xsl:call-template></td>
        <td class="n">
          <xsl:choose>
            <xsl:when test="MaxCapacity"><xsl:value-of select="format-number(MaxCapacity, '#,##0')"/> MB</xsl:when>
            <xsl:otherwise><span class="dim">&#8212;</span></xsl:otherwise>
          </xsl:choose>
        </td>
        <td class="n"><xsl:value-of select="NumberMemDevices"/></td>
        <td class="n dim"><xsl:value-of select="Handle"/></td>
      </tr>
    </xsl:for-each>
    </tbody>
  </table>
</xsl:template>

<xsl:template match="Type17" mode="memory">
  <xsl:variable name="mb" select="sum(Entry/Size[@Unit = 'MByte']) + sum(Entry/Size[@Unit = 'KByte']) div 1024"/>
  <h3>Memory modules
    <span class="count">
      <xsl:value-of select="format-number($mb, '#,##0')"/> MB in <xsl:value-of select="count(Entry[Size &gt; 0])"/> of <xsl:value-of select="count(Entry)"/> slots
    </span>
  </h3>
  <table class="t">
    <thead><tr><th>Slot</th><th>Bank</th><th class="n">Size</th><th>Type</th><th>Detail</th><th class="n">Speed</th><th>Form factor</th><th class="n">Width (data / total)</th><th class="n">Set</th><th class="n">Handle</th></tr></thead>
    <tbody>
    <xsl:for-each select="Entry">
      <tr>
        <xsl:choose>
          <xsl:when test="Size = 0 or not(Size)"><xsl:attribute name="class">off</xsl:attribute></xsl:when>
          <xsl:when test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:when>
        </xsl:choose>
        <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="DeviceLocator"/></xsl:call-template></td>
        <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="BankLocator"/></xsl:call-template></td>
        <td class="n">
          <xsl:choose>
            <xsl:when test="not(Size)"><span class="dim">unknown</span></xsl:when>
            <xsl:when test="Size = 0">empty</xsl:when>
            <xsl:when test="Size/@Unit = 'KByte'"><xsl:value-of select="format-number(Size, '#,##0')"/> KB</xsl:when>
            <xsl:otherwise><xsl:value-of select="format-number(Size, '#,##0')"/> MB</xsl:otherwise>
          </xsl:choose>
        </td>
        <td><xsl:call-template name="v"><xsl:with-param name="v" select="MemoryType"/></xsl:call-template></td>
        <td><xsl:call-template name="v"><xsl:with-param name="v" select="TypeDetail"/></xsl:call-template></td>
        <td class="n">
          <xsl:choose>
            <xsl:when test="Speed &gt; 0"><xsl:value-of select="Speed"/> MHz</xsl:when>
            <xsl:otherwise><span class="dim">&#8212;</span></xsl:otherwise>
          </xsl:choose>
        </td>
        <td><xsl:call-template name="v"><xsl:with-param name="v" select="FormFactor"/></xsl:call-template></td>
        <td class="n"><xsl:value-of select="concat(DataWidth, ' / ', TotalWidth)"/></td>
        <td class="n"><xsl:value-of select="DeviceSet"/></td>
        <td class="n dim"><xsl:value-of select="@Handle"/></td>
      </tr>
    </xsl:for-each>
    </tbody>
  </table>
</xsl:template>

<xsl:template match="Type190">
  <h3>Memory add-ons</h3>
  <table class="t">
    <thead><tr><th>Function</th><th class="msg">Details</th></tr></thead>
    <tbody>
    <xsl:for-each select="Entry/*">
      <tr>
        <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
        <td class="nw"><xsl:value-of select="name()"/></td>
        <td class="msg">
          <xsl:choose>
            <xsl:when test="self::Scrubbing">Runs: <xsl:value-of select="Runs"/></xsl:when>
            <xsl:when test="self::Hotspare and Entry">
              <xsl:for-each select="Entry">
                <xsl:if test="position() &gt; 1">; </xsl:if>
                <span class="dim">Handle <xsl:value-of select="@Handle"/>:</span>
                <xsl:value-of select="$sp"/><xsl:value-of select="Status"/>
              </xsl:for-each>
            </xsl:when>
            <xsl:when test="self::CPU-PDA and Entry">
              <xsl:for-each select="Entry">
                <xsl:if test="position() &gt; 1">; </xsl:if>
                <span class="dim">Handle <xsl:value-of select="Handle"/>:</span>
                <xsl:text> APIC ID </xsl:text><xsl:value-of select="APICId"/>
              </xsl:for-each>
            </xsl:when>
            <xsl:otherwise><span class="dim">&#8212;</span></xsl:otherwise>
          </xsl:choose>
        </td>
      </tr>
    </xsl:for-each>
    </tbody>
  </table>
</xsl:template>

<xsl:template match="PCIDevices">
  <h3 id="pci">PCI devices<span class="count"><xsl:value-of select="count(Device)"/></span></h3>
  <xsl:choose>
    <xsl:when test="Device">
      <table class="t">
        <thead><tr><th class="n">Bus</th><th class="n">Dev</th><th class="n">Fn</th><th class="n">Slot</th><th>Class</th><th>Vendor</th><th>Device</th><th>Vendor:Device</th><th>Subsystem</th><th class="n">Rev</th></tr></thead>
        <tbody>
        <xsl:for-each select="Device">
          <xsl:variable name="c" select="ConfigSpace"/>
          <tr>
            <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
            <td class="n"><xsl:value-of select="@Bus"/></td>
            <td class="n"><xsl:value-of select="@Device"/></td>
            <td class="n"><xsl:value-of select="@Function"/></td>
            <td class="n">
              <xsl:choose>
                <xsl:when test="Slot = 0"><span class="dim">board</span></xsl:when>
                <xsl:when test="Slot"><xsl:value-of select="Slot"/></xsl:when>
                <xsl:otherwise><span class="dim">?</span></xsl:otherwise>
              </xsl:choose>
            </td>
            <td>
              <xsl:value-of select="$c/SubClass"/>
              <xsl:if test="$c/BaseClass != $c/SubClass"><br/><span class="dim small"><xsl:value-of select="$c/BaseClass"/></span></xsl:if>
            </td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="VendorName"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="DeviceName"/></xsl:call-template></td>
            <td class="mono nw"><xsl:value-of select="concat($c/VendorId, ':', $c/DeviceId)"/></td>
            <td class="nw">
              <span class="mono"><xsl:value-of select="concat($c/SubVendorId, ':', $c/SubDeviceId)"/></span>
              <xsl:if test="string(SubVendorName) != '' and SubVendorName != VendorName">
                <br/><span class="dim small"><xsl:value-of select="SubVendorName"/></span>
              </xsl:if>
            </td>
            <td class="n mono"><xsl:value-of select="$c/Revision"/></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:otherwise>
      <p class="note">No PCI devices listed (board driver not available).</p>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- Routing entries are many and small: six to a row. -->
<xsl:template match="IRQRouting">
  <h3>PCI interrupt routing
    <span class="count">version <xsl:value-of select="@Version"/>, <xsl:value-of select="@Entries"/> entries, <xsl:value-of select="@Size"/> bytes</span>
  </h3>
  <xsl:if test="Entry">
    <table class="t">
      <thead><tr>
        <xsl:for-each select="Entry[position() &lt;= 6]">
          <th>Bus / device</th><th class="n">Slot</th>
        </xsl:for-each>
      </tr></thead>
      <tbody>
      <xsl:for-each select="Entry[position() mod 6 = 1]">
        <tr>
          <xsl:for-each select=". | following-sibling::Entry[position() &lt; 6]">
            <td class="nw"><xsl:value-of select="concat(@Bus, ' / ', @Device)"/></td>
            <td class="n">
              <xsl:choose>
                <xsl:when test="Slot = 0"><span class="dim">board</span></xsl:when>
                <xsl:otherwise><xsl:value-of select="Slot"/></xsl:otherwise>
              </xsl:choose>
            </td>
          </xsl:for-each>
        </tr>
      </xsl:for-each>
      </tbody>
    </table>
  </xsl:if>
</xsl:template>

<!-- ===================================================================== -->
<!-- Server system event log                                                -->
<!-- ===================================================================== -->

<xsl:template match="SystemEventlog">
  <h2 id="sel">System event log<span class="count"><xsl:value-of select="count(Entry)"/> entries</span></h2>
  <xsl:choose>
    <xsl:when test="Entry">
      <table class="t">
        <thead><tr><th>Date</th><th>Severity</th><th>Code</th><th class="msg">Message</th></tr></thead>
        <tbody>
        <xsl:for-each select="Entry">
          <tr>
            <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
            <td class="nw">
              <xsl:choose>
                <xsl:when test="contains(Date, 'no date')"><span class="dim">no date</span></xsl:when>
                <xsl:otherwise><xsl:value-of select="Date"/></xsl:otherwise>
              </xsl:choose>
            </td>
            <td class="nw">
              <xsl:choose>
                <xsl:when test="Severity = 'CRITICAL'"><span class="b err">CRITICAL</span></xsl:when>
                <xsl:when test="Severity = 'MAJOR'"><span class="b warn">MAJOR</span></xsl:when>
                <xsl:when test="Severity = 'INFO'"><span class="b na">INFO</span></xsl:when>
                <xsl:otherwise><span class="dim">&#8212;</span></xsl:otherwise>
              </xsl:choose>
            </td>
            <td class="mono"><xsl:value-of select="ErrorCode"/></td>
            <td class="msg"><xsl:value-of select="Message"/></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:otherwise>
      <p class="note">No entries: the log is empty or the base service could not be reached.</p>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ===================================================================== -->
<!-- Operating system                                                       -->
<!-- ===================================================================== -->

<xsl:template match="OperatingSystem">
  <h2 id="os">Operating system</h2>
  <table class="kv">
    <xsl:call-template name="kv"><xsl:with-param name="k" select="'Name'"/><xsl:with-param name="v" select="Product/Name"/></xsl:call-template>
    <xsl:call-template name="kv"><xsl:with-param name="k" select="'Version'"/><xsl:with-param name="v" select="normalize-space(Product/Version)"/></xsl:call-template>
    <tr><th>Product type</th><td>
      <xsl:choose>
        <xsl:when test="Product/Type = 'ServerNT'">Server</xsl:when>
        <xsl:when test="Product/Type = 'LanmanNT'">Domain controller</xsl:when>
        <xsl:when test="Product/Type = 'WinNT'">Workstation</xsl:when>
        <xsl:otherwise><xsl:call-template name="v"><xsl:with-param name="v" select="Product/Type"/></xsl:call-template></xsl:otherwise>
      </xsl:choose>
      <xsl:if test="Product/Type"><span class="dim small"> (<xsl:value-of select="Product/Type"/>)</span></xsl:if>
    </td></tr>
    <tr><th>System language</th><td><xsl:call-template name="language"><xsl:with-param name="id" select="Product/Language/System"/></xsl:call-template></td></tr>
    <tr><th>User language</th><td><xsl:call-template name="language"><xsl:with-param name="id" select="Product/Language/User"/></xsl:call-template></td></tr>
  </table>
  <xsl:apply-templates select="Processes"/>
  <xsl:apply-templates select="Eventlog"/>
  <xsl:apply-templates select="Software"/>
</xsl:template>

<xsl:template match="OperatingSystem/Processes">
  <h3 id="processes">Processes<span class="count"><xsl:value-of select="count(Process)"/></span></h3>
  <xsl:choose>
    <xsl:when test="Process">
      <table class="t">
        <thead><tr>
          <th>Process</th><th>Description</th><th>File version</th><th>Company</th>
          <th class="n">Working set KB</th><th class="n">Peak</th><th class="n">Page file KB</th><th class="n">Peak</th><th class="n">Private KB</th><th class="n">Handles</th><th>File created</th>
        </tr></thead>
        <tbody>
        <xsl:for-each select="Process">
          <xsl:sort select="translate(@Name, $uc, $lc)"/>
          <xsl:variable name="c" select="Counters"/>
          <tr>
            <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
            <td>
              <b><xsl:value-of select="@Name"/></b>
              <xsl:if test="Version/Location != 'n/a'"><br/><span class="dim small"><xsl:value-of select="Version/Location"/></span></xsl:if>
            </td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Description"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Version/FileVersion"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Version/CompanyName"/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="num"><xsl:with-param name="v" select="$c/WorkingSetSize/Current"/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="num"><xsl:with-param name="v" select="$c/WorkingSetSize/Peak"/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="num"><xsl:with-param name="v" select="$c/PagefileUsage/Current"/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="num"><xsl:with-param name="v" select="$c/PagefileUsage/Peak"/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="num"><xsl:with-param name="v" select="$c/PrivateUsage"/></xsl:call-template></td>
            <td class="n"><xsl:call-template name="num"><xsl:with-param name="v" select="$c/HandleCount"/></xsl:call-template></td>
            <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Created"/></xsl:call-template></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:otherwise><p class="note">No process information could be read.</p></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template match="OperatingSystem/Eventlog">
  <h3 id="eventlog">Windows event log: product-specific errors and warnings<span class="count"><xsl:value-of select="count(*/Record)"/></span></h3>
  <xsl:choose>
    <xsl:when test="*/Record">
      <table class="t">
        <thead><tr><th>Log</th><th>Created</th><th>Type</th><th>Source</th><th class="msg">Message</th></tr></thead>
        <tbody>
        <xsl:for-each select="*/Record">
          <tr>
            <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
            <td class="nw"><xsl:value-of select="name(..)"/></td>
            <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="@Created"/></xsl:call-template></td>
            <td class="nw">
              <xsl:choose>
                <xsl:when test="@Type = 'Error'"><span class="b err">Error</span></xsl:when>
                <xsl:otherwise><span class="b warn"><xsl:value-of select="@Type"/></span></xsl:otherwise>
              </xsl:choose>
            </td>
            <td class="nw"><xsl:value-of select="@Source"/></td>
            <td class="msg"><xsl:value-of select="Message"/></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:otherwise><p class="note">No product-specific errors or warnings in the Application, System and Security logs.</p></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template match="OperatingSystem/Software">
  <h3 id="software">Installed software<span class="count"><xsl:value-of select="count(Product)"/></span></h3>
  <xsl:choose>
    <xsl:when test="Product">
      <table class="t">
        <thead><tr><th>Product</th><th>Version</th><th>Manufacturer</th><th>Installed</th><th>Location</th><th>Product code</th></tr></thead>
        <tbody>
        <xsl:for-each select="Product">
          <xsl:sort select="translate(Name, $uc, $lc)"/>
          <tr>
            <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Name"/></xsl:call-template></td>
            <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="Version"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Manufacture"/></xsl:call-template></td>
            <td class="nw">
              <xsl:choose>
                <xsl:when test="string-length(InstallDate) = 8 and number(InstallDate) = number(InstallDate)">
                  <xsl:value-of select="concat(substring(InstallDate, 1, 4), '-', substring(InstallDate, 5, 2), '-', substring(InstallDate, 7, 2))"/>
                </xsl:when>
                <xsl:otherwise><xsl:call-template name="v"><xsl:with-param name="v" select="InstallDate"/></xsl:call-template></xsl:otherwise>
              </xsl:choose>
            </td>
            <td class="path"><xsl:call-template name="v"><xsl:with-param name="v" select="Location"/></xsl:call-template></td>
            <td class="mono nw dim"><xsl:value-of select="@ProductCode"/></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:otherwise><p class="note">Windows Installer lists no products.</p></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ===================================================================== -->
<!-- Network                                                                -->
<!-- ===================================================================== -->

<xsl:template match="Network">
  <h2 id="network">Network</h2>
  <table class="kv">
    <tr><th>DNS resolution</th><td><xsl:value-of select="Global/DNS"/></td></tr>
    <tr><th>Default gateway</th><td>
      <xsl:call-template name="v"><xsl:with-param name="v" select="(Interfaces/Interface/IPConfig/Entry/IPGateway)[1]"/></xsl:call-template>
    </td></tr>
  </table>

  <h3>Adapters<span class="count"><xsl:value-of select="count(Adapters/Adapter)"/></span></h3>
  <xsl:choose>
    <xsl:when test="Adapters/Adapter">
      <table class="t">
        <thead><tr><th class="n">#</th><th>Description</th><th>Type</th><th>MAC address</th><th>Name</th></tr></thead>
        <tbody>
        <xsl:for-each select="Adapters/Adapter">
          <tr>
            <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
            <td class="n"><xsl:value-of select="@Index"/></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Description"/></xsl:call-template></td>
            <td class="nw"><xsl:value-of select="Type"/></td>
            <td class="mono nw"><xsl:call-template name="v"><xsl:with-param name="v" select="MACAddress"/></xsl:call-template></td>
            <td class="mono dim"><xsl:value-of select="Name"/></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:otherwise><p class="note">No network adapters listed.</p></xsl:otherwise>
  </xsl:choose>

  <xsl:if test="Interfaces">
    <h3>Interfaces<span class="count"><xsl:value-of select="count(Interfaces/Interface)"/></span></h3>
    <xsl:choose>
      <xsl:when test="Interfaces/Interface">
        <table class="t">
          <thead><tr><th class="n">#</th><th>Description</th><th class="n">Speed</th><th>MAC address</th><th>IPv4 address / mask</th><th>Address type</th><th>Gateway</th></tr></thead>
          <tbody>
          <xsl:for-each select="Interfaces/Interface">
            <tr>
              <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
              <td class="n"><xsl:value-of select="@Index"/></td>
              <td>
                <xsl:call-template name="v"><xsl:with-param name="v" select="Description"/></xsl:call-template>
                <xsl:if test="string(Name) != ''"><br/><span class="dim small mono"><xsl:value-of select="Name"/></span></xsl:if>
              </td>
              <td class="n">
                <xsl:choose>
                  <xsl:when test="Speed = 'n/a'"><span class="dim">n/a</span></xsl:when>
                  <xsl:otherwise><xsl:value-of select="Speed"/> Mbit/s</xsl:otherwise>
                </xsl:choose>
              </td>
              <td class="mono nw"><xsl:call-template name="v"><xsl:with-param name="v" select="MACAddress"/></xsl:call-template></td>
              <td class="mono nw">
                <xsl:for-each select="IPConfig/Entry">
                  <xsl:if test="position() &gt; 1"><br/></xsl:if>
                  <xsl:value-of select="IPAddress"/>
                  <span class="dim"> / <xsl:value-of select="IPSubnetMask"/></span>
                </xsl:for-each>
                <xsl:if test="not(IPConfig/Entry)"><span class="dim">&#8212;</span></xsl:if>
              </td>
              <td class="nw">
                <xsl:for-each select="IPConfig/Entry">
                  <xsl:if test="position() &gt; 1"><br/></xsl:if>
                  <xsl:call-template name="v"><xsl:with-param name="v" select="IPAddressType"/></xsl:call-template>
                </xsl:for-each>
              </td>
              <td class="mono nw"><xsl:call-template name="v"><xsl:with-param name="v" select="IPConfig/Entry[1]/IPGateway"/></xsl:call-template></td>
            </tr>
          </xsl:for-each>
          </tbody>
        </table>
      </xsl:when>
      <xsl:otherwise><p class="note">No network interfaces listed.</p></xsl:otherwise>
    </xsl:choose>
  </xsl:if>
</xsl:template>

<!-- ===================================================================== -->
<!-- SNMP                                                                   -->
<!-- ===================================================================== -->

<xsl:template match="SNMP">
  <h2 id="snmp">SNMP</h2>
  <div class="cols">
    <div class="col">
      <h3>Service</h3>
      <table class="kv">
        <tr><th>SNMP service</th><td><xsl:call-template name="service-badge"><xsl:with-param name="s" select="string(Service/Status)"/></xsl:call-template></td></tr>
        <tr><th>Permitted managers</th><td>
          <xsl:choose>
            <xsl:when test="Configuration/Security/PermittedManagers">
              <xsl:for-each select="Configuration/Security/PermittedManagers">
                <xsl:if test="position() &gt; 1"><br/></xsl:if>
                <xsl:value-of select="@Name"/>
              </xsl:for-each>
            </xsl:when>
            <xsl:otherwise><span class="dim">any host (no restriction)</span></xsl:otherwise>
          </xsl:choose>
        </td></tr>
      </table>
    </div>
    <div class="col">
      <h3>Communities</h3>
      <xsl:choose>
        <xsl:when test="Configuration/Security/Community">
          <table class="t">
            <thead><tr><th>Community</th><th>Rights</th></tr></thead>
            <tbody>
            <xsl:for-each select="Configuration/Security/Community">
              <tr>
                <td class="nw"><xsl:value-of select="@Name"/></td>
                <td class="nw">
                  <xsl:choose>
                    <xsl:when test="Access"><xsl:value-of select="Access"/></xsl:when>
                    <xsl:otherwise><span class="dim">not a rights value</span></xsl:otherwise>
                  </xsl:choose>
                </td>
              </tr>
            </xsl:for-each>
            </tbody>
          </table>
        </xsl:when>
        <xsl:otherwise><p class="note">No community configured.</p></xsl:otherwise>
      </xsl:choose>
    </div>
    <div class="col">
      <h3>Trap destinations</h3>
      <xsl:choose>
        <xsl:when test="Configuration/TrapDestinations/Host">
          <table class="t">
            <thead><tr><th>Destination</th><th>Community</th></tr></thead>
            <tbody>
            <xsl:for-each select="Configuration/TrapDestinations/Host">
              <tr>
                <td class="nw"><xsl:value-of select="Name"/></td>
                <td class="nw"><xsl:value-of select="Community"/></td>
              </tr>
            </xsl:for-each>
            </tbody>
          </table>
        </xsl:when>
        <xsl:otherwise><p class="note">No trap destination configured.</p></xsl:otherwise>
      </xsl:choose>
    </div>
  </div>

  <h3>Extension agents<span class="count"><xsl:value-of select="count(Agents/Agent)"/></span></h3>
  <xsl:choose>
    <xsl:when test="Agents/Agent">
      <table class="t">
        <thead><tr><th>Agent</th><th>Description</th><th>File version</th><th>Company</th><th>File</th><th>File created</th><th>Status</th></tr></thead>
        <tbody>
        <xsl:for-each select="Agents/Agent">
          <tr>
            <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
            <td class="nw"><b><xsl:call-template name="v"><xsl:with-param name="v" select="@Name"/></xsl:call-template></b></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Description"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Version/FileVersion"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Version/CompanyName"/></xsl:call-template></td>
            <td class="path"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Location"/></xsl:call-template></td>
            <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Created"/></xsl:call-template></td>
            <td><xsl:call-template name="v"><xsl:with-param name="v" select="Status"/></xsl:call-template></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:otherwise><p class="note">No SNMP extension agents registered.</p></xsl:otherwise>
  </xsl:choose>

  <h3>Function test</h3>
  <xsl:choose>
    <xsl:when test="Tests">
      <table class="t">
        <thead><tr><th>Request</th><th>Result</th><th>Response OID</th><th class="n">Length</th><th class="msg">Value</th></tr></thead>
        <tbody>
        <xsl:for-each select="Tests/Request">
          <tr>
            <td class="nw"><b><xsl:value-of select="@PDU"/></b><xsl:value-of select="$sp"/><span class="mono"><xsl:value-of select="@OID"/></span></td>
            <td class="nw">
              <xsl:choose>
                <xsl:when test="Status = '0'"><span class="b ok">OK</span></xsl:when>
                <xsl:otherwise><span class="b err">failed (status <xsl:value-of select="Status"/>)</span></xsl:otherwise>
              </xsl:choose>
            </td>
            <td class="mono nw"><xsl:value-of select="Data/@OID"/></td>
            <td class="n"><xsl:value-of select="Data/@LEN"/></td>
            <td class="msg"><xsl:call-template name="v"><xsl:with-param name="v" select="Data"/></xsl:call-template></td>
          </tr>
        </xsl:for-each>
        </tbody>
      </table>
      <xsl:choose>
        <xsl:when test="Tests/Response/Time">
          <p>
            <xsl:value-of select="Tests/Response/@Count"/> requests took
            <b><xsl:value-of select="Tests/Response/Time"/> ms</b>
            <xsl:if test="Tests/Response/@Count &gt; 0">
              <span class="dim"> (<xsl:value-of select="format-number(Tests/Response/Time div Tests/Response/@Count, '0.0')"/> ms per request)</span>
            </xsl:if>
          </p>
        </xsl:when>
        <xsl:otherwise><p class="note">No response time measured.</p></xsl:otherwise>
      </xsl:choose>
    </xsl:when>
    <xsl:when test="Service/Status != 'running'">
      <p class="note">Not run: the SNMP service is not running.</p>
    </xsl:when>
    <xsl:otherwise>
      <p class="note">Not run: no SNMP session could be opened.</p>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ===================================================================== -->
<!-- Agents                                                                 -->
<!-- ===================================================================== -->

<xsl:template match="SNMPAgents">
  <h2 id="agents">Agents</h2>
  <xsl:choose>
    <xsl:when test="ProductVersion">
      <table class="kv">
        <xsl:call-template name="kv"><xsl:with-param name="k" select="'Agent product version'"/><xsl:with-param name="v" select="ProductVersion"/></xsl:call-template>
        <xsl:choose>
          <xsl:when test="Security/*">
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'SNMP set operations allowed'"/><xsl:with-param name="v" select="Security/SetAllowed"/></xsl:call-template>
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'Account check'"/><xsl:with-param name="v" select="Security/AccountCheck"/></xsl:call-template>
            <xsl:call-template name="kv"><xsl:with-param name="k" select="'User group'"/><xsl:with-param name="v" select="Security/UserGroup"/></xsl:call-template>
          </xsl:when>
          <xsl:otherwise>
            <tr><th>Security settings</th><td><span class="dim">not available (base service not reachable)</span></td></tr>
          </xsl:otherwise>
        </xsl:choose>
      </table>
      <xsl:apply-templates select="StatusTree"/>
    </xsl:when>
    <xsl:otherwise>
      <p class="note">No agent product installation found.</p>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- Both status trees: the agents' (over SNMP) and the base service's. -->
<xsl:template match="StatusTree">
  <xsl:variable name="detailed" select="boolean(Subsystem/@Description)"/>
  <h3>Status tree<span class="count"><xsl:value-of select="count(Subsystem)"/> subsystems</span></h3>
  <table class="kv">
    <tr><th>Overall system status</th><td>
      <xsl:choose>
        <xsl:when test="System/Status">
          <xsl:call-template name="status-badge">
            <xsl:with-param name="d" select="string(System/Status/@Description)"/>
            <xsl:with-param name="n" select="string(System/Status)"/>
          </xsl:call-template>
        </xsl:when>
        <xsl:when test="System/Value"><span class="b na">unknown</span></xsl:when>
        <xsl:otherwise><span class="dim">not available (base service not reachable)</span></xsl:otherwise>
      </xsl:choose>
    </td></tr>
  </table>
  <xsl:choose>
    <xsl:when test="Subsystem">
      <table>
        <xsl:attribute name="class"><xsl:choose><xsl:when test="$detailed">t</xsl:when><xsl:otherwise>t narrow</xsl:otherwise></xsl:choose></xsl:attribute>
        <thead><tr>
          <th>Component</th><th>Status</th>
          <xsl:if test="$detailed"><th class="msg">Description</th><th>Confirmation</th></xsl:if>
        </tr></thead>
        <tbody>
        <xsl:for-each select="Subsystem">
          <tr class="group">
            <td>
              <xsl:attribute name="colspan"><xsl:choose><xsl:when test="$detailed">4</xsl:when><xsl:otherwise>2</xsl:otherwise></xsl:choose></xsl:attribute>
              <xsl:value-of select="@Name"/>
              <xsl:if test="string(@Description) != '' and @Description != 'n/a'">
                <span class="dim small"><xsl:value-of select="concat(' &#8211; ', @Description)"/></span>
              </xsl:if>
              <xsl:value-of select="$sp"/>
              <xsl:choose>
                <xsl:when test="Component/Status[@Description = 'error' or @Description = 'failed']"><span class="b err">error</span></xsl:when>
                <xsl:when test="Component/Status[@Description = 'warning' or @Description = 'degraded']"><span class="b warn">warning</span></xsl:when>
                <xsl:when test="Component/Status[@Description = 'ok']"><span class="b ok">ok</span></xsl:when>
              </xsl:choose>
            </td>
          </tr>
          <xsl:for-each select="Component">
            <tr>
              <td class="nw"><xsl:value-of select="@Name"/></td>
              <td class="nw">
                <xsl:call-template name="status-badge">
                  <xsl:with-param name="d" select="string(Status/@Description)"/>
                  <xsl:with-param name="n" select="string(Status)"/>
                </xsl:call-template>
              </td>
              <xsl:if test="$detailed">
                <td class="msg"><xsl:call-template name="v"><xsl:with-param name="v" select="@Description"/></xsl:call-template></td>
                <td class="nw">
                  <xsl:choose>
                    <xsl:when test="@ConfirmSupported = 'true'">supported</xsl:when>
                    <xsl:otherwise><span class="dim">no</span></xsl:otherwise>
                  </xsl:choose>
                </td>
              </xsl:if>
            </tr>
          </xsl:for-each>
          <xsl:if test="not(Component)">
            <tr>
              <td>
                <xsl:attribute name="colspan"><xsl:choose><xsl:when test="$detailed">4</xsl:when><xsl:otherwise>2</xsl:otherwise></xsl:choose></xsl:attribute>
                <span class="dim">No components reported.</span>
              </td>
            </tr>
          </xsl:if>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:when>
    <xsl:otherwise><p class="note">No subsystems reported.</p></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ===================================================================== -->
<!-- Base service                                                           -->
<!-- ===================================================================== -->

<xsl:template match="Ravelin">
  <h2 id="ravelin">Base service (Ravelin)</h2>
  <xsl:choose>
    <xsl:when test="Service">
      <table class="kv">
        <tr><th>Base service Ravelind</th><td><xsl:call-template name="service-badge"><xsl:with-param name="s" select="string(Service/Status)"/></xsl:call-template></td></tr>
        <xsl:call-template name="kv"><xsl:with-param name="k" select="'Command router (Vexil) version'"/><xsl:with-param name="v" select="ProductVersion"/></xsl:call-template>
        <tr><th>Command router registered (DCOM)</th><td>
          <xsl:choose>
            <xsl:when test="DCOM/Registered = 'yes'"><span class="b ok">yes</span></xsl:when>
            <xsl:otherwise><span class="b err">no</span></xsl:otherwise>
          </xsl:choose>
        </td></tr>
      </table>

      <h3>Modules<span class="count"><xsl:value-of select="count(Modules/Module)"/></span></h3>
      <xsl:choose>
        <xsl:when test="Modules/Module">
          <table class="t">
            <thead><tr><th>Module</th><th>Installed</th><th>Detected</th><th>Load status</th><th>Description</th><th>File version</th><th>File</th><th>File created</th></tr></thead>
            <tbody>
            <xsl:for-each select="Modules/Module">
              <tr>
                <xsl:choose>
                  <xsl:when test="Installed = 'no'"><xsl:attribute name="class">off</xsl:attribute></xsl:when>
                  <xsl:when test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:when>
                </xsl:choose>
                <td class="nw"><b><xsl:value-of select="@Name"/></b></td>
                <td><xsl:value-of select="Installed"/></td>
                <td><xsl:value-of select="Detected"/></td>
                <td><xsl:call-template name="v"><xsl:with-param name="v" select="Status"/></xsl:call-template></td>
                <td><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Description"/></xsl:call-template></td>
                <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/FileVersion"/></xsl:call-template></td>
                <td class="path"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Location"/></xsl:call-template></td>
                <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Created"/></xsl:call-template></td>
              </tr>
            </xsl:for-each>
            </tbody>
          </table>
        </xsl:when>
        <xsl:otherwise><p class="note">No module list found.</p></xsl:otherwise>
      </xsl:choose>

      <h3>Drivers<span class="count"><xsl:value-of select="count(Drivers/Driver)"/></span></h3>
      <xsl:choose>
        <xsl:when test="Drivers/Driver">
          <table class="t">
            <thead><tr><th>Driver</th><th>Status</th><th>Description</th><th>File version</th><th>Product version</th><th>File</th><th>File created</th></tr></thead>
            <tbody>
            <xsl:for-each select="Drivers/Driver">
              <tr>
                <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">alt</xsl:attribute></xsl:if>
                <td class="nw"><b><xsl:value-of select="@Name"/></b></td>
                <td class="nw"><xsl:call-template name="service-badge"><xsl:with-param name="s" select="string(Status)"/></xsl:call-template></td>
                <td><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Description"/></xsl:call-template></td>
                <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/FileVersion"/></xsl:call-template></td>
                <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/ProductVersion"/></xsl:call-template></td>
                <td class="path"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Location"/></xsl:call-template></td>
                <td class="nw"><xsl:call-template name="v"><xsl:with-param name="v" select="Version/Created"/></xsl:call-template></td>
              </tr>
            </xsl:for-each>
            </tbody>
          </table>
        </xsl:when>
        <xsl:otherwise><p class="note">No driver files found.</p></xsl:otherwise>
      </xsl:choose>
    </xsl:when>
    <xsl:otherwise>
      <p class="note">The base service's installation was not found.</p>
    </xsl:otherwise>
  </xsl:choose>
  <xsl:apply-templates select="Tests"/>
</xsl:template>

<xsl:template match="Ravelin/Tests">
  <h3>Function test</h3>
  <div class="cols">
    <div class="col">
      <table class="kv">
        <tr><th>Connection to the command router</th><td>
          <xsl:choose>
            <xsl:when test="Connect/Status = 'OK'"><span class="b ok">OK</span></xsl:when>
            <xsl:otherwise><span class="b err"><xsl:value-of select="Connect/Status"/></span></xsl:otherwise>
          </xsl:choose>
        </td></tr>
        <xsl:if test="Connect/LastError != 0">
          <tr><th>Last result</th><td>
            <span class="mono">0x<xsl:call-template name="hex32"><xsl:with-param name="n" select="number(Connect/LastError)"/></xsl:call-template></span>
            <xsl:value-of select="$sp"/><xsl:value-of select="Connect/LastErrorMsg"/>
          </td></tr>
        </xsl:if>
      </table>
    </div>
    <xsl:if test="Requests">
      <div class="col">
        <table class="kv">
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'Cabinet number'"/><xsl:with-param name="v" select="Requests/ServerCabinetNr"/></xsl:call-template>
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'Server model'"/><xsl:with-param name="v" select="Requests/ServerModel"/></xsl:call-template>
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'Chassis model'"/><xsl:with-param name="v" select="Requests/ChassisModel"/></xsl:call-template>
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'Cabinet serial number'"/><xsl:with-param name="v" select="Requests/CabinetSerialNumber"/></xsl:call-template>
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'System board'"/><xsl:with-param name="v" select="Requests/Systemboard"/></xsl:call-template>
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'Management controller'"/><xsl:with-param name="v" select="Requests/ControllerModel"/></xsl:call-template>
          <xsl:call-template name="kv"><xsl:with-param name="k" select="'Controller firmware'"/><xsl:with-param name="v" select="Requests/ControllerFirmware"/></xsl:call-template>
        </table>
      </div>
    </xsl:if>
    <xsl:if test="EEPROMS">
      <div class="col">
        <table class="kv">
          <tr><th>Chassis EEPROM identifiers</th><td class="mono">
            <xsl:choose>
              <xsl:when test="EEPROMS/Chassis/BDMS">
                <xsl:for-each select="EEPROMS/Chassis/BDMS">
                  <xsl:if test="position() &gt; 1"><xsl:value-of select="$sp"/></xsl:if>
                  <xsl:value-of select="."/>
                </xsl:for-each>
              </xsl:when>
              <xsl:otherwise><span class="dim">no answer</span></xsl:otherwise>
            </xsl:choose>
          </td></tr>
        </table>
      </div>
    </xsl:if>
  </div>
  <xsl:apply-templates select="StatusTree"/>
</xsl:template>

<!-- ===================================================================== -->
<!-- Helpers                                                                -->
<!-- ===================================================================== -->

<!-- A value as text; empty or missing shows a dash, "n/a" is dimmed. -->
<xsl:template name="v">
  <xsl:param name="v"/>
  <xsl:choose>
    <xsl:when test="string($v) = ''"><span class="dim">&#8212;</span></xsl:when>
    <xsl:when test="string($v) = 'n/a'"><span class="dim">n/a</span></xsl:when>
    <xsl:otherwise><xsl:value-of select="$v"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="kv">
  <xsl:param name="k"/>
  <xsl:param name="v"/>
  <tr>
    <th><xsl:value-of select="$k"/></th>
    <td><xsl:call-template name="v"><xsl:with-param name="v" select="$v"/></xsl:call-template></td>
  </tr>
</xsl:template>

<xsl:template name="num">
  <xsl:param name="v"/>
  <xsl:choose>
    <xsl:when test="string(number($v)) != 'NaN'"><xsl:value-of select="format-number($v, '#,##0')"/></xsl:when>
    <xsl:otherwise><xsl:call-template name="v"><xsl:with-param name="v" select="$v"/></xsl:call-template></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="mhz">
  <xsl:param name="v"/>
  <xsl:choose>
    <xsl:when test="$v &gt; 0"><xsl:value-of select="$v"/> MHz</xsl:when>
    <xsl:otherwise><span class="dim">&#8212;</span></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="plural">
  <xsl:param name="n"/>
  <xsl:param name="word"/>
  <xsl:value-of select="$word"/>
  <xsl:if test="$n != 1">s</xsl:if>
</xsl:template>

<!-- Service and driver states as the service manager names them. -->
<xsl:template name="service-badge">
  <xsl:param name="s"/>
  <xsl:choose>
    <xsl:when test="$s = 'running'"><span class="b ok">running</span></xsl:when>
    <xsl:when test="$s = 'starting' or $s = 'stop pending' or $s = 'paused'"><span class="b warn"><xsl:value-of select="$s"/></span></xsl:when>
    <xsl:when test="$s = 'stopped' or $s = 'not installed' or $s = 'marked for deletion'"><span class="b err"><xsl:value-of select="$s"/></span></xsl:when>
    <xsl:when test="$s = ''"><span class="dim">&#8212;</span></xsl:when>
    <xsl:otherwise><span class="b na"><xsl:value-of select="$s"/></span></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- Status words of both status trees ("OK"/"ok", "warning"/"degraded",
     "error"/"failed", anything else unknown). -->
<xsl:template name="status-badge">
  <xsl:param name="d"/>
  <xsl:param name="n"/>
  <xsl:variable name="cls">
    <xsl:choose>
      <xsl:when test="$d = 'OK' or $d = 'ok'">ok</xsl:when>
      <xsl:when test="$d = 'warning' or $d = 'degraded'">warn</xsl:when>
      <xsl:when test="$d = 'error' or $d = 'failed'">err</xsl:when>
      <xsl:otherwise>na</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <span class="b {$cls}" title="status {$n}"><xsl:value-of select="$d"/></span>
</xsl:template>

<xsl:template name="language">
  <xsl:param name="id"/>
  <xsl:variable name="name">
    <xsl:choose>
      <xsl:when test="$id = 1031">German (Germany)</xsl:when>
      <xsl:when test="$id = 2055">German (Switzerland)</xsl:when>
      <xsl:when test="$id = 3079">German (Austria)</xsl:when>
      <xsl:when test="$id = 1033">English (United States)</xsl:when>
      <xsl:when test="$id = 2057">English (United Kingdom)</xsl:when>
      <xsl:when test="$id = 1036">French (France)</xsl:when>
      <xsl:when test="$id = 1040">Italian (Italy)</xsl:when>
      <xsl:when test="$id = 3082">Spanish (Spain)</xsl:when>
      <xsl:when test="$id = 1043">Dutch (Netherlands)</xsl:when>
      <xsl:when test="$id = 1053">Swedish (Sweden)</xsl:when>
      <xsl:when test="$id = 1045">Polish (Poland)</xsl:when>
      <xsl:when test="$id = 1049">Russian (Russia)</xsl:when>
      <xsl:when test="$id = 1041">Japanese (Japan)</xsl:when>
      <xsl:when test="$id = 2052">Chinese (PRC)</xsl:when>
    </xsl:choose>
  </xsl:variable>
  <xsl:choose>
    <xsl:when test="string($id) = ''"><span class="dim">&#8212;</span></xsl:when>
    <xsl:when test="string($name) != ''"><xsl:value-of select="$name"/><span class="dim small"> (<xsl:value-of select="$id"/>)</span></xsl:when>
    <xsl:otherwise><xsl:value-of select="$id"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- HRESULTs arrive as signed decimals; engineers look them up in hex. -->
<xsl:template name="hex32">
  <xsl:param name="n"/>
  <xsl:param name="digits" select="8"/>
  <xsl:variable name="u">
    <xsl:choose>
      <xsl:when test="$n &lt; 0"><xsl:value-of select="$n + 4294967296"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$n"/></xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:if test="$digits &gt; 1">
    <xsl:call-template name="hex32">
      <xsl:with-param name="n" select="floor($u div 16)"/>
      <xsl:with-param name="digits" select="$digits - 1"/>
    </xsl:call-template>
  </xsl:if>
  <xsl:value-of select="substring('0123456789ABCDEF', ($u mod 16) + 1, 1)"/>
</xsl:template>

</xsl:stylesheet>
