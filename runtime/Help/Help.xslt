<?xml version="1.0" encoding="UTF-8"?>
<!--
  Makes the help project of one language from XML/Findings.xml: the topic page
  (part "page"), the table of contents (part "contents") and the project file
  (part "project") that chmcmd compiles into Help<lang>.chm.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

<xsl:param name="lang" select="'1033'"/>
<xsl:param name="part" select="'page'"/>

<xsl:variable name="topic" select="'Diagnostics/QuillmontDiagnostics.htm'"/>
<xsl:variable name="de" select="$lang = '1031'"/>

<xsl:output method="html" encoding="ISO-8859-1" indent="yes"/>

<xsl:template match="/Help">
  <xsl:for-each select="Check | Finding">
    <xsl:for-each select="self::Check[not(Title[@lang = $lang]) or not(LooksAt[@lang = $lang])] |
                          self::Finding[not(Meaning[@lang = $lang]) or not(Action[@lang = $lang])]">
      <xsl:message terminate="yes">
        <xsl:value-of select="concat('Findings.xml: ', name(), ' ', @id, @text, @start, @end, ' has no text for language ', $lang)"/>
      </xsl:message>
    </xsl:for-each>
  </xsl:for-each>
  <xsl:choose>
    <xsl:when test="$part = 'page'"><xsl:call-template name="page"/></xsl:when>
    <xsl:when test="$part = 'contents'"><xsl:call-template name="contents"/></xsl:when>
    <xsl:otherwise><xsl:call-template name="project"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="title">
  <xsl:choose>
    <xsl:when test="$de">Triagist-Diagnose</xsl:when>
    <xsl:otherwise>Triagist diagnosis</xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="page">
  <html>
    <head>
      <meta http-equiv="Content-Type" content="text/html; charset=ISO-8859-1"/>
      <title><xsl:call-template name="title"/></title>
      <style type="text/css">
        body { font-family: Segoe UI, Tahoma, Arial, sans-serif; font-size: 10pt; margin: 12px; }
        h1 { font-size: 15pt; } h2 { font-size: 12pt; margin-top: 20px; border-bottom: 1px solid #999; }
        .kind { font-weight: bold; } .err { color: #b00000; } .warn { color: #a06000; }
        .text { font-family: Consolas, Courier New, monospace; }
        dd { margin: 2px 0 10px 20px; }
      </style>
    </head>
    <body>
      <h1><xsl:call-template name="title"/></h1>
      <xsl:choose>
        <xsl:when test="$de">
          <p>Die Diagnose prüft den Server von der Firmware bis zu den Agenten und schreibt einen Bericht. Oben im Bericht stehen die Fehler und Warnungen, nach Kategorien geordnet; darunter folgt ein Abschnitt je Prüfung. Diese Hilfe sagt zu jeder Prüfung, was sie betrachtet, und zu jeder Meldung, was sie auf dem Server bedeutet und was zu tun ist.</p>
        </xsl:when>
        <xsl:otherwise>
          <p>The diagnosis examines the server from the firmware up to the agents and writes a report. Its top lists the errors and warnings by category; a section for each check follows. This help says, for each check, what it looks at and, for each finding, what it means on the server and what to do about it.</p>
        </xsl:otherwise>
      </xsl:choose>
      <ul>
        <xsl:for-each select="Check">
          <li><a href="#{@id}"><xsl:value-of select="Title[@lang = $lang]"/></a></li>
        </xsl:for-each>
      </ul>
      <xsl:for-each select="Check">
        <xsl:variable name="id" select="@id"/>
        <h2><a name="{@id}"><xsl:value-of select="Title[@lang = $lang]"/></a></h2>
        <p><xsl:value-of select="LooksAt[@lang = $lang]"/></p>
        <xsl:variable name="findings" select="../Finding[@check = $id]"/>
        <xsl:choose>
          <xsl:when test="$findings">
            <dl>
              <xsl:for-each select="$findings">
                <xsl:call-template name="finding"/>
              </xsl:for-each>
            </dl>
          </xsl:when>
          <xsl:otherwise>
            <p><i>
              <xsl:choose>
                <xsl:when test="$de">Diese Prüfung meldet keine Fehler oder Warnungen.</xsl:when>
                <xsl:otherwise>This check reports no errors or warnings.</xsl:otherwise>
              </xsl:choose>
            </i></p>
          </xsl:otherwise>
        </xsl:choose>
      </xsl:for-each>
    </body>
  </html>
</xsl:template>

<xsl:template name="finding">
  <dt>
    <xsl:choose>
      <xsl:when test="@kind = 'Errors'">
        <span class="kind err"><xsl:choose><xsl:when test="$de">Fehler</xsl:when><xsl:otherwise>Error</xsl:otherwise></xsl:choose></span>
      </xsl:when>
      <xsl:otherwise>
        <span class="kind warn"><xsl:choose><xsl:when test="$de">Warnung</xsl:when><xsl:otherwise>Warning</xsl:otherwise></xsl:choose></span>
      </xsl:otherwise>
    </xsl:choose>
    <xsl:value-of select="concat(' (', @category, '): ')"/>
    <span class="text">
      <xsl:choose>
        <xsl:when test="@text"><xsl:value-of select="@text"/></xsl:when>
        <xsl:when test="@start"><xsl:value-of select="concat(@start, '...')"/></xsl:when>
        <xsl:otherwise><xsl:value-of select="concat('n', @end)"/></xsl:otherwise>
      </xsl:choose>
    </span>
  </dt>
  <dd>
    <xsl:value-of select="Meaning[@lang = $lang]"/>
    <br/>
    <b><xsl:choose><xsl:when test="$de">Was zu tun ist: </xsl:when><xsl:otherwise>What to do: </xsl:otherwise></xsl:choose></b>
    <xsl:value-of select="Action[@lang = $lang]"/>
  </dd>
</xsl:template>

<xsl:template name="contents">
  <html>
    <body>
      <object type="text/site properties"><param name="ImageType" value="Folder"/></object>
      <ul>
        <li><object type="text/sitemap">
          <param name="Name"><xsl:attribute name="value"><xsl:call-template name="title"/></xsl:attribute></param>
          <param name="Local" value="{$topic}"/>
        </object></li>
        <ul>
          <xsl:for-each select="Check">
            <li><object type="text/sitemap">
              <param name="Name" value="{Title[@lang = $lang]}"/>
              <param name="Local" value="{concat($topic, '#', @id)}"/>
            </object></li>
          </xsl:for-each>
        </ul>
      </ul>
    </body>
  </html>
</xsl:template>

<xsl:template name="project">
  <xsl:variable name="language">
    <xsl:choose>
      <xsl:when test="$de">0x407 German (Germany)</xsl:when>
      <xsl:otherwise>0x409 English (United States)</xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:variable name="title"><xsl:call-template name="title"/></xsl:variable>
  <xsl:value-of select="concat('[OPTIONS]&#10;Compatibility=1.1 or later&#10;Compiled file=Help', $lang, '.chm&#10;',
    'Contents file=Help.hhc&#10;Default topic=', $topic, '&#10;Display compile progress=No&#10;',
    'Language=', $language, '&#10;Title=', $title, '&#10;&#10;[FILES]&#10;', $topic, '&#10;')"/>
</xsl:template>

</xsl:stylesheet>
